#include <gmock/gmock.h>
#include <wx/app.h>
#include <wx/init.h>

#include <clocale>
#include <cstdio>
#include <cstdlib>
#include <ctime>

#include "app/quorvel_app.h"
#include "platform/trace.h"

namespace {

// A wx assertion is a fault in the code under test, not a reason to open a dialog.
void FailOnAssert(const wxString& file, int line, const wxString& func, const wxString& cond, const wxString& msg) {
  ADD_FAILURE_AT(file.utf8_str().data(), line)
      << "wx assertion in " << func.utf8_str().data() << ": " << cond.utf8_str().data() << " " << msg.utf8_str().data();
}

}  // namespace

// The real application object, started and shut down by each test rather than by wx.
int main(int argc, char** argv) {
  setenv("TZ", "UTC", 1);
  tzset();
  testing::InitGoogleMock(&argc, argv);
  if (testing::GTEST_FLAG(list_tests)) return RUN_ALL_TESTS();

  wxApp::SetInstance(new tovalen::CQuorvelApp);  // wx owns it
  int wxArgc = 1;
  char* wxArgv[] = {argv[0], nullptr};
  if (!wxEntryStart(wxArgc, wxArgv)) {
    std::fprintf(stderr, "cannot start wx: is there a display (run under xvfb-run)?\n");
    return 1;
  }
  std::setlocale(LC_ALL, "C.UTF-8");  // GTK took the environment's locale
  wxSetAssertHandler(FailOnAssert);
  tovalen::SetTraceSink({});  // quiet; tests that read traces capture them
  const int result = RUN_ALL_TESTS();
  wxEntryCleanup();
  return result;
}
