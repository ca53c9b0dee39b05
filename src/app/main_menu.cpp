#include "app/main_menu.h"

#include <wx/menu.h>

#include <initializer_list>

#include "app/command_ids.h"
#include "app/command_texts.h"
#include "dialogs/wx_text.h"

namespace tovalen {
namespace {

enum class Kind { kNormal, kCheck, kSeparator };

struct Item {
  int id;
  const char* caption;
  Kind kind = Kind::kNormal;
};

constexpr Item kSeparator{0, "", Kind::kSeparator};

wxMenu* MenuOf(std::initializer_list<Item> items) {
  auto* menu = new wxMenu;
  for (const Item& item : items) {
    switch (item.kind) {
      case Kind::kSeparator:
        menu->AppendSeparator();
        break;
      case Kind::kNormal:
        menu->Append(item.id, ToWx(item.caption), ToWx(PromptOf(item.id).prompt));
        break;
      case Kind::kCheck:
        menu->AppendCheckItem(item.id, ToWx(item.caption), ToWx(PromptOf(item.id).prompt));
        break;
    }
  }
  return menu;
}

}  // namespace

MainMenu CreateMainMenu() {
  using namespace cmd;
  MainMenu menu;
  menu.bar = new wxMenuBar;
  // The recent-file placeholder is replaced by the files once there are any.
  menu.file = MenuOf({{ID_FILE_NEW, "新規作成(&N)\tCtrl+N"},
                      {ID_FILE_OPEN, "開く(&O)...\tCtrl+O"},
                      {ID_FILE_SAVE, "上書き保存(&S)\tCtrl+S"},
                      {ID_FILE_SAVE_AS, "名前を付けて保存(&A)..."},
                      kSeparator,
                      {ID_FILE_MRU_FILE1, "最近使ったファイル"},
                      kSeparator,
                      {ID_APP_EXIT, "終了(&X)"}});
  menu.bar->Append(menu.file, ToWx("ファイル(&F)"));
  menu.bar->Append(MenuOf({{ID_VIEW_TOOLBAR, "ツール バー(&T)", Kind::kCheck},
                           {ID_VIEW_STATUS_BAR, "ステータス バー(&S)", Kind::kCheck}}),
                   ToWx("表示(&V)"));
  menu.bar->Append(MenuOf({{ID_REC_LIST, "録画予約一覧(&L)..."},
                           {ID_REC_START, "予約開始(&S)..."},
                           kSeparator,
                           {ID_REC_LATE_START, "開始済みの予約も途中から録画する", Kind::kCheck}}),
                   ToWx("録画予約 (&R)"));
  menu.bar->Append(MenuOf({{ID_CAP_SELECT_DEVICE, "キャプチャデバイスの選択(&S)..."},
                           {ID_CAP_STREAM_SOURCES, "ネットワークストリーム(&N)..."},
                           {ID_CAP_VIDEO_FORMAT, "ビデオ形式の設定(&F)..."},
                           {ID_CAP_VIDEO_SOURCE, "ビデオ入力の設定(&I)..."},
                           {ID_CAP_VIDEO_OUT, "ビデオ出力の設定(&E)..."},
                           {ID_CAP_VIDEO_COMPRESSION, "ビデオ再圧縮の設定(&C)..."},
                           {ID_CAP_VIDEO_OPTION, "その他のビデオの設定(&R)..."},
                           {ID_CAP_AUDIO, "オーディオの設定(&A)..."},
                           kSeparator,
                           {ID_CAP_PREVIEW, "プレビュー(&P)", Kind::kCheck},
                           {ID_CAP_OVERLAY, "オーバーレイ(&O)", Kind::kCheck},
                           kSeparator,
                           {ID_CAP_TEST, "キャプチャ試行(&T)..."}}),
                   ToWx("キャプチャ設定(&C)"));
  menu.bar->Append(MenuOf({{ID_DEBUG_INFO, "デバッグ情報(&D)"}}), ToWx("デバッグ(&D)"));
  menu.bar->Append(MenuOf({{ID_HELP_CONTENTS, "目次...(C)"}, kSeparator, {ID_APP_ABOUT, "バージョン情報(&A)..."}}),
                   ToWx("ヘルプ(&H)"));
  return menu;
}

}  // namespace tovalen
