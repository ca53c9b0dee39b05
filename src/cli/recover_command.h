#pragma once

#include <ostream>
#include <string>
#include <vector>

namespace tovalen::cli {

// tovalen-rec recover PATH: rebuilds each recording a killed capture left at PATH (a file or a
// folder) into a playable file, one line per file. Exit 0 when every one was recovered.
int Recover(const std::vector<std::string>& args, std::ostream& out);

}  // namespace tovalen::cli
