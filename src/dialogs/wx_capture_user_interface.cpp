#include "dialogs/wx_capture_user_interface.h"

#include "capture/active_runner.h"
#include "dialogs/dlg_select_cap_device.h"
#include "dialogs/message_box.h"
#include "dialogs/save_file_dialog.h"

namespace tovalen {

void WxCaptureUserInterface::ShowMessage(const std::string& text) {
  const MessageBoxRequest box{nullptr, text, "Tovalen", MessageIcon::kExclamation, MessageButtons::kOk};
  // A scheduled run goes on by itself: a box that waited would hold the next reservation until
  // someone came to answer it. The user who started a test capture is at the screen.
  if (CActiveRunner::GetActive() != nullptr) {
    ShowMessageBoxWithoutWaiting(box);
  } else {
    ShowMessageBox(box);
  }
}

DeviceSelection WxCaptureUserInterface::ChooseCaptureDevice(const std::vector<SCapDriverInfo>& devices) {
  CDlgSelectCapDevice dialog;
  dialog.SetDevices(devices);
  const int result = dialog.ShowModal();
  return {static_cast<DialogResult>(result), dialog.GetSelectedIndex()};
}

std::optional<std::string> WxCaptureUserInterface::AskSaveFileName(const SaveFileRequest& request) {
  // The capture window belongs to the driver and is no wx window, so the dialog has no owner.
  return AskSaveFile({nullptr, request.filters, request.initialName, request.defaultExtension});
}

}  // namespace tovalen
