#pragma once

#include <ostream>
#include <string>
#include <vector>

namespace tovalen::cli {

// tovalen-rec serve FILE [--listen ADDR:PORT] [--allow DIR]... [--cert F --key F]: runs the
// schedule as `run --late` does and serves the web interface and its API meanwhile.
int Serve(const std::vector<std::string>& args, std::ostream& out);

// tovalen-rec serve-password: reads a password from standard input and stores its hash.
int ServePassword(const std::vector<std::string>& args, std::ostream& out);

}  // namespace tovalen::cli
