#pragma once

#include <optional>
#include <string>

namespace tovalen {

// The file a reservation already under way records its remainder into: the target itself when
// neither it nor a leftover of a killed recording into it ("NAME.recording-XXXXXX.avi", which
// recovery places at the target) exists; otherwise the first free "NAME (late).EXT",
// "NAME (late 2).EXT"... beside it that has no leftover either, a name recovery never writes.
// Nothing when none of them is free.
std::optional<std::string> LateStartFileName(const std::string& target);

}  // namespace tovalen
