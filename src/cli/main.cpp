#include <clocale>
#include <iostream>

#include "cli/tovalen_rec.h"

int main(int argc, char** argv) {
  std::setlocale(LC_ALL, "");
  const std::vector<std::string> args(argv + 1, argv + argc);
  return tovalen::cli::RunTovalenRec(args, tovalen::cli::AllCommands(), std::cout, std::cerr);
}
