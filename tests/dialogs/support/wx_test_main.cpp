#include <gmock/gmock.h>
#include <wx/app.h>

#include <optional>
#include <string>

#include "dialogs/message_box.h"
#include "dialogs/save_file_dialog.h"
#include "support/wx_test_run.h"

namespace {

// An application object without a main loop: tests make real windows and send their events.
class TestApp : public wxApp {
 public:
  bool OnInit() override { return true; }
};

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

int main(int argc, char** argv) {
  return tovalen::testing::RunWxTests(
      argc, argv, [] { return new TestApp; },
      [] {
        tovalen::SetMessageBoxPresenter(RefuseMessageBox);
        tovalen::SetSaveFilePresenter(RefuseSaveFile);
        return wxTheApp->CallOnInit();
      },
      [] { wxTheApp->OnExit(); });
}
