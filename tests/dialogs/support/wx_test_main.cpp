#include <gmock/gmock.h>
#include <wx/app.h>
#include <wx/init.h>

#include <clocale>
#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <string>

#include "dialogs/message_box.h"
#include "dialogs/save_file_dialog.h"
#include "platform/trace.h"

namespace {

// An application object without a main loop: tests make real windows and send their events.
class TestApp : public wxApp {
 public:
  bool OnInit() override { return true; }
};

// A wx assertion is a fault in the code under test, not a reason to open a dialog.
void FailOnAssert(const wxString& file, int line, const wxString& func, const wxString& cond, const wxString& msg) {
  ADD_FAILURE_AT(file.utf8_str().data(), line)
      << "wx assertion in " << func.utf8_str().data() << ": " << cond.utf8_str().data() << " " << msg.utf8_str().data();
}

// A test that opens a box or a file dialog it did not expect fails instead of waiting for a
// user who never comes.
tovalen::MessageAnswer RefuseMessageBox(const tovalen::MessageBoxRequest& request) {
  ADD_FAILURE() << "unexpected message box: " << request.text;
  return tovalen::MessageAnswer::kOk;
}

std::optional<std::string> RefuseSaveFile(const tovalen::SaveFileQuestion& question) {
  ADD_FAILURE() << "unexpected save dialog from " << question.initialPath;
  return std::nullopt;
}

}  // namespace

// Times in tests are written in UTC and weekday names are the C locale's.
int main(int argc, char** argv) {
  setenv("TZ", "UTC", 1);
  tzset();
  testing::InitGoogleMock(&argc, argv);
  if (testing::GTEST_FLAG(list_tests)) return RUN_ALL_TESTS();

  wxApp::SetInstance(new TestApp);  // wx owns it
  int wxArgc = 1;
  char* wxArgv[] = {argv[0], nullptr};
  if (!wxEntryStart(wxArgc, wxArgv) || !wxTheApp->CallOnInit()) {
    std::fprintf(stderr, "cannot start wx: is there a display (run under xvfb-run)?\n");
    return 1;
  }
  std::setlocale(LC_ALL, "C.UTF-8");  // GTK took the environment's locale
  wxSetAssertHandler(FailOnAssert);
  tovalen::SetTraceSink({});  // quiet; tests that read traces capture them
  tovalen::SetMessageBoxPresenter(RefuseMessageBox);
  tovalen::SetSaveFilePresenter(RefuseSaveFile);
  const int result = RUN_ALL_TESTS();
  wxTheApp->OnExit();
  wxEntryCleanup();
  return result;
}
