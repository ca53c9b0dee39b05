#include <gmock/gmock.h>
#include <gtk/gtk.h>
#include <wx/button.h>
#include <wx/checkbox.h>
#include <wx/listbox.h>
#include <wx/panel.h>
#include <wx/radiobut.h>
#include <wx/statbox.h>
#include <wx/stattext.h>
#include <wx/textctrl.h>

#include <memory>

#include "dialogs/dlg_compression.h"
#include "dialogs/dlg_debug_info.h"
#include "dialogs/dlg_new_rec.h"
#include "dialogs/dlg_rec_list.h"
#include "dialogs/dlg_rec_start.h"
#include "dialogs/dlg_select_cap_device.h"
#include "dialogs/dlg_set_audio_property.h"
#include "dialogs/dlg_set_video_option.h"
#include "dialogs/dlg_video_display.h"
#include "dialogs/dlg_video_format.h"
#include "dialogs/dlg_video_source.h"
#include "dialogs/version_dlg.h"
#include "dialogs/wx_text.h"
#include "platform/clock.h"
#include "res/resource_ids.h"
#include "schedule/yoyaku_schedule.h"
#include "video_cap_test_access.h"

namespace tovalen::testing {
namespace {

// The titles are what the window manager shows, so no screenshot of a bare X server has them.
TEST(DialogTitles, EachDialogCarriesItsJapaneseTitleAndTemplateId) {
  CDlgNewRec newRec;
  CDlgRecList recList;
  CDlgSelectCapDevice selectDevice;
  CDlgSetAudioProperty audio;
  CDlgSetVideoOption videoOption;
  CDlgDebugInfo debugInfo;
  CVersionDlg about;
  CDlgRecStart recStart;
  const std::vector<std::tuple<wxDialog*, const char*, int>> expected = {
      {&newRec, "録画予約編集", res::IDD_DLG_NEW_REC},
      {&recList, "録画予約一覧", res::IDD_DLG_REC_LIST},
      {&selectDevice, "キャプチャデバイスの選択", res::IDD_DLG_SELECT_CAP_DEVICE},
      {&audio, "オーディオの設定", res::IDD_DLG_SET_AUDIO_PROPERTY},
      {&videoOption, "その他のビデオの設定", res::IDD_DLG_SET_VIDEO_OPTION},
      {&debugInfo, "デバッグ情報", res::IDD_DLG_DEBUG_INFO},
      {&about, "Tovalenのバージョン情報", res::IDD_ABOUTBOX},
      {&recStart, "予約録画状況", res::IDD_DLG_REC_START},
  };
  for (const auto& [dialog, title, id] : expected) {
    EXPECT_EQ(ToUtf8(dialog->GetTitle()), title);
    EXPECT_EQ(dialog->GetId(), id) << title;
  }
}

constexpr std::int64_t kNow = 1'900'000'000;

// Every dialog of the program, opened with contents as a user meets them.
class EveryDialog : public VideoCapTest {
 protected:
  EveryDialog() {
    SYoyaku yoyaku;
    yoyaku.timeStart = static_cast<Time32>(kNow + 600);
    yoyaku.spanDuration = 1800;
    yoyaku.strTitle = "ドキュメンタリー 海の生き物";
    yoyaku.strFileName = "/home/user/Videos/umi.avi";
    schedule.AddYoyaku(yoyaku);
    auto newRec = std::make_unique<CDlgNewRec>();
    newRec->SetYoyaku(yoyaku);
    auto recList = std::make_unique<CDlgRecList>();
    recList->SetDocument(&schedule);
    auto selectDevice = std::make_unique<CDlgSelectCapDevice>();
    selectDevice->SetDevices({{0, "テストパターン", "libavfilter 8.44.100"}});
    auto recStart = std::make_unique<CDlgRecStart>();
    recStart->SetDocument(&schedule);
    Add(std::move(newRec));
    Add(std::move(recList));
    Add(std::move(selectDevice));
    Add(std::make_unique<CDlgSetAudioProperty>());
    Add(std::make_unique<CDlgSetVideoOption>());
    Add(std::make_unique<CDlgDebugInfo>());
    Add(std::make_unique<CVersionDlg>());
    Add(std::move(recStart));
    Add(std::make_unique<CDlgVideoFormat>(nullptr, videoFormat));
    Add(std::make_unique<CDlgVideoSource>(nullptr, videoSource));
    Add(std::make_unique<CDlgVideoDisplay>(nullptr, videoDisplay));
    Add(std::make_unique<CDlgCompression>(nullptr, compression));
  }
  ~EveryDialog() override {
    // The recording window closes only through Cancel; the others go with their owners.
    for (auto& dialog : dialogs) {
      if (auto* recStart = dynamic_cast<CDlgRecStart*>(dialog.get())) recStart->RequestClose();
    }
  }

  void Add(std::unique_ptr<wxDialog> dialog) {
    dialog->InitDialog();
    dialog->Show();
    dialogs.push_back(std::move(dialog));
  }

  // The controls a user sees, in tab order.
  static std::vector<wxWindow*> Controls(wxWindow* dialog) {
    std::vector<wxWindow*> controls;
    for (wxWindow* child : dialog->GetChildren()) {
      if (child->IsShown() && !child->IsTopLevel()) controls.push_back(child);
    }
    return controls;
  }

  static std::string Name(wxDialog* dialog, wxWindow* control) {
    return ToUtf8(dialog->GetTitle()) + ": " + ToUtf8(control->GetClassInfo()->GetClassName()) + " \"" +
           ToUtf8(control->GetLabel()) + "\" id " + std::to_string(control->GetId());
  }

  ScopedFakeClock clock{kNow};
  CYoyakuSchedule schedule;
  ffmpeg::VideoFormatModel videoFormat{{{"yuyv422", {{640, 480}, {320, 240}}}}, ffmpeg::DeviceSettings{}};
  ffmpeg::VideoSourceModel videoSource{{"Camera 1"}, {{"brightness", 0, 255, 1, 128}}, ffmpeg::DeviceSettings{}};
  ffmpeg::VideoDisplayModel videoDisplay{ffmpeg::DeviceSettings{}};
  ffmpeg::CompressionModel compression{ffmpeg::DeviceSettings{}};
  std::vector<std::unique_ptr<wxDialog>> dialogs;
};

bool Encloses(wxWindow* box, wxWindow* control) {
  return dynamic_cast<wxStaticBox*>(box) != nullptr && box->GetRect().Contains(control->GetRect());
}

// The templates were drawn for another desktop's font: with this one's, a caption cut short or
// wrapped, or a control drawn over its neighbour, is what the fitted layout must prevent.
TEST_F(EveryDialog, NoControlIsSmallerThanItsBestSizeAndNoneOverlapsAnother) {
  for (auto& dialog : dialogs) {
    const std::vector<wxWindow*> controls = Controls(dialog.get());
    for (wxWindow* control : controls) {
      const wxSize size = control->GetSize();
      const wxSize best = control->GetBestSize();
      // Lists and edit boxes scroll; a panel holds what it is given.
      const bool scrolls = dynamic_cast<wxListBox*>(control) != nullptr || dynamic_cast<wxTextCtrl*>(control) != nullptr;
      if (dynamic_cast<wxPanel*>(control) == nullptr) {
        EXPECT_TRUE((scrolls || size.x >= best.x) && size.y >= best.y)
            << Name(dialog.get(), control) << " is " << size.x << "x" << size.y << ", needs " << best.x << "x" << best.y;
      }
      EXPECT_TRUE(wxRect(dialog->GetClientSize()).Contains(control->GetRect())) << Name(dialog.get(), control);
    }
    for (std::size_t a = 0; a < controls.size(); ++a) {
      for (std::size_t b = a + 1; b < controls.size(); ++b) {
        if (!controls[a]->GetRect().Intersects(controls[b]->GetRect())) continue;
        EXPECT_TRUE(Encloses(controls[a], controls[b]) || Encloses(controls[b], controls[a]))
            << Name(dialog.get(), controls[a]) << " overlaps " << Name(dialog.get(), controls[b]);
      }
    }
  }
}

}  // namespace
}  // namespace tovalen::testing
