#include <gmock/gmock.h>

#include "dialogs/dlg_debug_info.h"
#include "dialogs/dlg_new_rec.h"
#include "dialogs/dlg_rec_list.h"
#include "dialogs/dlg_rec_start.h"
#include "dialogs/dlg_select_cap_device.h"
#include "dialogs/dlg_set_audio_property.h"
#include "dialogs/dlg_set_video_option.h"
#include "dialogs/version_dlg.h"
#include "dialogs/wx_text.h"
#include "res/resource_ids.h"

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

}  // namespace
}  // namespace tovalen::testing
