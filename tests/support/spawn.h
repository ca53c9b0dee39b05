#pragma once

#include <sys/types.h>

#include <string>
#include <vector>

namespace tovalen::testing {

// Starts words[0] (looked up on PATH) with the given arguments, its standard output and error
// written to the files given ("/dev/null" for none). The process id, or -1 when it cannot start.
pid_t Spawn(const std::vector<std::string>& words, const std::string& out, const std::string& err);

}  // namespace tovalen::testing
