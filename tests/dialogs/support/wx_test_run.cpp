#include "support/wx_test_run.h"

#include <gmock/gmock.h>
#include <wx/init.h>

#include <clocale>
#include <cstdio>
#include <cstdlib>
#include <ctime>

#include "platform/trace.h"

namespace tovalen::testing {
namespace {

// A wx assertion is a fault in the code under test, not a reason to open a dialog.
void FailOnAssert(const wxString& file, int line, const wxString& func, const wxString& cond, const wxString& msg) {
  ADD_FAILURE_AT(file.utf8_str().data(), line)
      << "wx assertion in " << func.utf8_str().data() << ": " << cond.utf8_str().data() << " " << msg.utf8_str().data();
}

}  // namespace

// Times in tests are written in UTC and weekday names are the C locale's.
int RunWxTests(int argc, char** argv, const std::function<wxApp*()>& makeApp, const std::function<bool()>& prepare,
               const std::function<void()>& finish) {
  setenv("TZ", "UTC", 1);
  tzset();
  ::testing::InitGoogleMock(&argc, argv);
  if (::testing::GTEST_FLAG(list_tests)) return RUN_ALL_TESTS();

  wxApp::SetInstance(makeApp());
  int wxArgc = 1;
  char* wxArgv[] = {argv[0], nullptr};
  if (!wxEntryStart(wxArgc, wxArgv) || (prepare && !prepare())) {
    std::fprintf(stderr, "cannot start wx: is there a display (run under xvfb-run)?\n");
    return 1;
  }
  std::setlocale(LC_ALL, "C.UTF-8");  // GTK took the environment's locale
  wxSetAssertHandler(FailOnAssert);
  SetTraceSink({});  // quiet; tests that read traces capture them
  const int result = RUN_ALL_TESTS();
  if (finish) finish();
  wxEntryCleanup();
  return result;
}

}  // namespace tovalen::testing
