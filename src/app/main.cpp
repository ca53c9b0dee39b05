#include <wx/app.h>

#include <clocale>
#include <csignal>
#include <iostream>
#include <string>
#include <vector>

#include "app/quorvel_app.h"
#include "platform/japanese_locale.h"

int main(int argc, char** argv) try {
  std::setlocale(LC_ALL, "");
  tovalen::PreferJapaneseMessagesAndDates();
  // A write beyond a file-size limit then fails like a full disk instead of killing the recording.
  std::signal(SIGXFSZ, SIG_IGN);
  // The file named on the command line is kept exactly as given, whatever the locale.
  std::vector<std::string> arguments(argv + 1, argv + argc);
  wxApp::SetInstance(new tovalen::CQuorvelApp(std::move(arguments)));  // wx owns it
  return wxEntry(argc, argv);
} catch (const std::exception& error) {
  std::cerr << "tovalen: " << error.what() << '\n';
  return 1;
} catch (...) {
  std::cerr << "tovalen: unexpected failure\n";
  return 1;
}
