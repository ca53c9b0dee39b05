#include <gmock/gmock.h>
#include <wx/checkbox.h>
#include <wx/radiobut.h>

#include "dialogs/dlg_set_audio_property.h"
#include "dialogs/dlg_set_video_option.h"
#include "res/resource_ids.h"
#include "support/dialog_driver.h"
#include "support/trace_capture.h"
#include "video_cap_test_access.h"

namespace tovalen::testing {
namespace {

using SettingsDialogs = VideoCapTest;

// The ids of the selected buttons among the given ones.
std::vector<int> SelectedRadios(wxWindow* dialog, std::initializer_list<int> ids) {
  std::vector<int> selected;
  for (int id : ids) {
    auto* radio = ControlOf<wxRadioButton>(dialog, id);
    if (radio == nullptr) {
      ADD_FAILURE() << "no radio button " << id;
    } else if (radio->GetValue()) {
      selected.push_back(id);
    }
  }
  return selected;
}

constexpr std::initializer_list<int> kAudioRadios = {res::IDC_RADIO_MONO,  res::IDC_RADIO_STEREO, res::IDC_RADIO_8BIT,
                                                     res::IDC_RADIO_16BIT, res::IDC_RADIO_8KHZ,   res::IDC_RADIO_11KHZ,
                                                     res::IDC_RADIO_22KHZ, res::IDC_RADIO_44KHZ};
constexpr std::initializer_list<int> kFpsRadios = {res::IDC_RADIO_15FPS, res::IDC_RADIO_30FPS, res::IDC_RADIO_12_5FPS,
                                                   res::IDC_RADIO_25FPS};

TEST_F(SettingsDialogs, AudioOpensWithTheGivenChoicesAndTracesThem) {
  TraceCapture trace;
  CDlgSetAudioProperty dialog;
  dialog.SetAudioProperty(SAudioProperty{});
  EXPECT_EQ(trace.Pieces(), (std::vector<std::string>{"D: CDlgSetAudioProperty::SetAudioProperty()\n\t",
                                                      SAudioProperty{}.ToString(), "\n"}));
  dialog.InitDialog();
  EXPECT_EQ(SelectedRadios(&dialog, kAudioRadios),
            (std::vector<int>{res::IDC_RADIO_STEREO, res::IDC_RADIO_16BIT, res::IDC_RADIO_44KHZ}));

  CDlgSetAudioProperty other;
  other.SetAudioProperty({1, 0, 0});
  other.InitDialog();
  EXPECT_EQ(SelectedRadios(&other, kAudioRadios),
            (std::vector<int>{res::IDC_RADIO_MONO, res::IDC_RADIO_8BIT, res::IDC_RADIO_11KHZ}));
}

TEST_F(SettingsDialogs, AudioOkHandsTheChosenButtonsToTheController) {
  CDlgSetAudioProperty dialog;
  dialog.SetAudioProperty(SAudioProperty{});
  dialog.InitDialog();
  ControlOf<wxRadioButton>(&dialog, res::IDC_RADIO_22KHZ)->SetValue(true);
  ControlOf<wxRadioButton>(&dialog, res::IDC_RADIO_MONO)->SetValue(true);
  // Each group deselects only its own buttons.
  EXPECT_EQ(SelectedRadios(&dialog, kAudioRadios),
            (std::vector<int>{res::IDC_RADIO_MONO, res::IDC_RADIO_16BIT, res::IDC_RADIO_22KHZ}));

  Click(&dialog, res::IDOK);
  EXPECT_EQ(cap->GetAudioProperty(), (SAudioProperty{2, 1, 0}));
  EXPECT_EQ(dialog.GetReturnCode(), res::IDOK);
}

TEST_F(SettingsDialogs, AudioValuesOutOfRangeOpenWithNothingSelectedAndStayUnchosen) {
  CDlgSetAudioProperty dialog;
  dialog.SetAudioProperty({7, 1, -3});
  dialog.InitDialog();
  EXPECT_EQ(SelectedRadios(&dialog, kAudioRadios), (std::vector<int>{res::IDC_RADIO_16BIT}));
  Click(&dialog, res::IDOK);
  EXPECT_EQ(cap->GetAudioProperty(), (SAudioProperty{-1, 1, -1}));
}

TEST_F(SettingsDialogs, AudioCancelLeavesTheControllerAlone) {
  cap->SetAudioProperty({0, 0, 0});
  CDlgSetAudioProperty dialog;
  dialog.SetAudioProperty(cap->GetAudioProperty());
  dialog.InitDialog();
  for (int id : {res::IDC_RADIO_STEREO, res::IDC_RADIO_16BIT, res::IDC_RADIO_44KHZ}) {
    ControlOf<wxRadioButton>(&dialog, id)->SetValue(true);
  }
  Click(&dialog, res::IDCANCEL);
  EXPECT_EQ(cap->GetAudioProperty(), (SAudioProperty{0, 0, 0}));
  EXPECT_EQ(dialog.GetReturnCode(), res::IDCANCEL);
}

TEST_F(SettingsDialogs, VideoOptionOpensWithItsFrameRateAndConnectionChoice) {
  CDlgSetVideoOption dialog;
  dialog.SetVideoOption(SVideoOption{});
  dialog.InitDialog();
  EXPECT_EQ(SelectedRadios(&dialog, kFpsRadios), (std::vector<int>{res::IDC_RADIO_30FPS}));
  EXPECT_FALSE(ControlOf<wxCheckBox>(&dialog, res::IDC_CHECK_PERSISTENT_CONNECT)->GetValue());

  CDlgSetVideoOption persistent;
  persistent.SetVideoOption({3, true});
  persistent.InitDialog();
  EXPECT_EQ(SelectedRadios(&persistent, kFpsRadios), (std::vector<int>{res::IDC_RADIO_25FPS}));
  EXPECT_TRUE(ControlOf<wxCheckBox>(&persistent, res::IDC_CHECK_PERSISTENT_CONNECT)->GetValue());
}

TEST_F(SettingsDialogs, VideoOptionFrameRatesAreOneGroupAcrossBothBoxes) {
  CDlgSetVideoOption dialog;
  dialog.SetVideoOption({0, false});
  dialog.InitDialog();
  ControlOf<wxRadioButton>(&dialog, res::IDC_RADIO_12_5FPS)->SetValue(true);
  ControlOf<wxCheckBox>(&dialog, res::IDC_CHECK_PERSISTENT_CONNECT)->SetValue(true);
  EXPECT_EQ(SelectedRadios(&dialog, kFpsRadios), (std::vector<int>{res::IDC_RADIO_12_5FPS}));
  Click(&dialog, res::IDOK);
  EXPECT_EQ(cap->GetVideoOption(), (SVideoOption{2, true}));

  CDlgSetVideoOption clearing;
  clearing.SetVideoOption(cap->GetVideoOption());
  clearing.InitDialog();
  ControlOf<wxCheckBox>(&clearing, res::IDC_CHECK_PERSISTENT_CONNECT)->SetValue(false);
  Click(&clearing, res::IDOK);
  EXPECT_EQ(cap->GetVideoOption(), (SVideoOption{2, false}));
}

TEST_F(SettingsDialogs, VideoOptionFrameRateOutOfRangeOpensWithNoneAndStoresMinusOne) {
  CDlgSetVideoOption dialog;
  dialog.SetVideoOption({9, false});
  dialog.InitDialog();
  EXPECT_TRUE(SelectedRadios(&dialog, kFpsRadios).empty());
  Click(&dialog, res::IDOK);
  EXPECT_EQ(cap->GetVideoOption(), (SVideoOption{-1, false}));
}

TEST_F(SettingsDialogs, VideoOptionCancelLeavesTheControllerAlone) {
  CDlgSetVideoOption dialog;
  dialog.SetVideoOption(cap->GetVideoOption());
  dialog.InitDialog();
  ControlOf<wxRadioButton>(&dialog, res::IDC_RADIO_15FPS)->SetValue(true);
  ControlOf<wxCheckBox>(&dialog, res::IDC_CHECK_PERSISTENT_CONNECT)->SetValue(true);
  Click(&dialog, res::IDCANCEL);
  EXPECT_EQ(cap->GetVideoOption(), SVideoOption{});
}

}  // namespace
}  // namespace tovalen::testing
