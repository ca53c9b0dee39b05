#include <clocale>
#include <csignal>
#include <iostream>

#include "cli/tovalen_rec.h"

int main(int argc, char** argv) try {
  std::setlocale(LC_ALL, "");
  // A write beyond a file-size limit then fails like a full disk instead of killing the recording.
  std::signal(SIGXFSZ, SIG_IGN);
  const std::vector<std::string> args(argv + 1, argv + argc);
  return tovalen::cli::RunTovalenRec(args, tovalen::cli::AllCommands(), std::cout, std::cerr);
} catch (const std::exception& error) {
  std::cerr << "tovalen-rec: " << error.what() << '\n';
  return tovalen::cli::kExitFailure;
} catch (...) {
  std::cerr << "tovalen-rec: unexpected failure\n";
  return tovalen::cli::kExitFailure;
}
