#pragma once

#include <string>

namespace tovalen {

// Proves that the capture target's folder takes 1 MiB and wakes its disk before a capture:
// writes a scratch file beside the target, then deletes it. A file already at the target is
// left untouched, and must be a regular file the user owns and may write. False, with a trace,
// when the target is refused or the scratch file cannot be made, fully written or deleted.
bool SpinUpHDD(const std::string& path);

}  // namespace tovalen
