#pragma once

#include <ostream>
#include <string>
#include <vector>

namespace tovalen::cli {

// tovalen-rec source add NAME URL | source list | source remove NAME: the user's network
// streams, listed as capture devices after the machine's own. A URL is only ever shown masked;
// "-" as the URL reads it from standard input.
int Source(const std::vector<std::string>& args, std::ostream& out);

}  // namespace tovalen::cli
