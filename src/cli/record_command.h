#pragma once

#include <ostream>
#include <string>
#include <vector>

namespace tovalen::cli {

// tovalen-rec record --file PATH --length L [--device N]: records now with the default capture
// settings through the capture controller, which ends the capture once the length has passed;
// SIGINT or SIGTERM ends it earlier, saved.
int Record(const std::vector<std::string>& args, std::ostream& out);

}  // namespace tovalen::cli
