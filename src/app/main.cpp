#include <wx/app.h>

#include <clocale>
#include <csignal>
#include <iostream>
#include <string>
#include <vector>

#include "app/quorvel_app.h"
#include "platform/japanese_locale.h"
#include "platform/version.h"

namespace {

// --help and --version are answered before the toolkit starts, so they need no display.
bool AnswerInfoRequest(const std::vector<std::string>& arguments) {
  if (arguments.size() != 1) return false;
  if (arguments[0] == "--version") {
    std::cout << "tovalen " << tovalen::kVersion << '\n';
    return true;
  }
  if (arguments[0] != "--help" && arguments[0] != "-h") return false;
  std::cout << "Usage: tovalen [FILE.yyk]\n"
               "Keeps the recording reservations of a schedule file (.yyk) and records them from a capture device "
               "at their times, in a Japanese desktop window.\n\n"
               "Opens FILE, or a new schedule without one. The headless recorder is tovalen-rec.\n\n"
               "Options:\n"
               "  -h, --help     show this help and exit\n"
               "  --version      show the version and exit\n";
  return true;
}

}  // namespace

int main(int argc, char** argv) try {
  std::vector<std::string> arguments(argv + 1, argv + argc);
  if (AnswerInfoRequest(arguments)) return 0;
  std::setlocale(LC_ALL, "");
  tovalen::PreferJapaneseMessagesAndDates();
  // A write beyond a file-size limit then fails like a full disk instead of killing the recording.
  std::signal(SIGXFSZ, SIG_IGN);
  // The file named on the command line is kept exactly as given, whatever the locale.
  wxApp::SetInstance(new tovalen::CQuorvelApp(std::move(arguments)));  // wx owns it
  return wxEntry(argc, argv);
} catch (const std::exception& error) {
  std::cerr << "tovalen: " << error.what() << '\n';
  return 1;
} catch (...) {
  std::cerr << "tovalen: unexpected failure\n";
  return 1;
}
