#include "dialogs/dlg_select_cap_device.h"

#include <gmock/gmock.h>
#include <wx/listbox.h>

#include "dialogs/wx_text.h"
#include "res/resource_ids.h"
#include "support/dialog_driver.h"
#include "support/trace_capture.h"

namespace tovalen::testing {
namespace {

using ::testing::ElementsAre;

const std::vector<SCapDriverInfo> kDevices = {{0, "Webcam", "V4L2 6.1"}, {3, "テストパターン", ""}};

std::vector<std::string> Lines(wxListBox* list) {
  std::vector<std::string> lines;
  for (unsigned i = 0; i < list->GetCount(); ++i) lines.push_back(ToUtf8(list->GetString(i)));
  return lines;
}

TEST(SelectCapDeviceDialog, ListsNameAndVersionOfEachDeviceWithNoneChosen) {
  CDlgSelectCapDevice dialog;
  dialog.SetDevices(kDevices);
  TraceCapture trace;
  dialog.InitDialog();
  auto* list = ControlOf<wxListBox>(&dialog, res::IDC_LIST_CAP_DEVICE);
  EXPECT_THAT(Lines(list), ElementsAre("Webcam    V4L2 6.1", "テストパターン    "));
  EXPECT_EQ(list->GetSelection(), wxNOT_FOUND);
  EXPECT_THAT(trace.Pieces(), ElementsAre("D: ", "Webcam    V4L2 6.1", "\n", "D: ", "テストパターン    ", "\n"));
}

TEST(SelectCapDeviceDialog, OkGivesTheChosenPositionOrMinusOne) {
  CDlgSelectCapDevice untouched;
  untouched.SetDevices(kDevices);
  untouched.InitDialog();
  Click(&untouched, res::IDOK);
  EXPECT_EQ(untouched.GetSelectedIndex(), -1);
  EXPECT_EQ(untouched.GetReturnCode(), res::IDOK);

  CDlgSelectCapDevice chosen;
  chosen.SetDevices(kDevices);
  chosen.InitDialog();
  ControlOf<wxListBox>(&chosen, res::IDC_LIST_CAP_DEVICE)->SetSelection(1);
  Click(&chosen, res::IDOK);
  EXPECT_EQ(chosen.GetSelectedIndex(), 1);  // the position, not the device's own index 3
}

TEST(SelectCapDeviceDialog, CancelKeepsMinusOne) {
  CDlgSelectCapDevice dialog;
  dialog.SetDevices(kDevices);
  dialog.InitDialog();
  ControlOf<wxListBox>(&dialog, res::IDC_LIST_CAP_DEVICE)->SetSelection(0);
  Click(&dialog, res::IDCANCEL);
  EXPECT_EQ(dialog.GetSelectedIndex(), -1);
  EXPECT_EQ(dialog.GetReturnCode(), res::IDCANCEL);
}

}  // namespace
}  // namespace tovalen::testing
