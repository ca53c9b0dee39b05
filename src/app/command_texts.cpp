#include "app/command_texts.h"

#include <map>

#include "app/command_ids.h"

namespace tovalen {
namespace {

const std::map<int, CommandPrompt>& Prompts() {
  using namespace cmd;
  static const std::map<int, CommandPrompt> prompts = {
      {ID_FILE_NEW, {"新規にファイルを作成します。", "新規ファイル"}},
      {ID_FILE_OPEN, {"既存のファイルを開きます。", "開く"}},
      {ID_FILE_SAVE, {"作業中のファイルを上書きして保存します。", "保存"}},
      {ID_FILE_SAVE_AS, {"作業中のファイルを新しい名前で保存", "名前をつけて保存"}},
      {ID_FILE_MRU_FILE1, {"指定のﾌｧｲﾙを開く", ""}},
      {ID_FILE_MRU_FILE1 + 1, {"指定のﾌｧｲﾙを開く", ""}},
      {ID_FILE_MRU_FILE1 + 2, {"指定のﾌｧｲﾙを開く", ""}},
      {ID_FILE_MRU_FILE1 + 3, {"指定のﾌｧｲﾙを開く", ""}},
      {ID_APP_EXIT, {"アプリケーションを終了します。", "終了"}},
      {ID_APP_ABOUT, {"プログラムの情報、バージョンを表示します。", "バージョン情報"}},
      {ID_VIEW_TOOLBAR, {"ツール バーの 表示/非表示", "ツール バーの表示切り替え"}},
      {ID_VIEW_STATUS_BAR, {"ステータス バーの 表示/非表示", "ステータス バーの表示切り替え"}},
      {ID_REC_LIST, {"予約録画一覧ダイアログを出して予約します。", "予約録画一覧ダイアログを出します。"}},
      {ID_REC_START,
       {"予約録画をスタートします。時間になったら自動的にキャプチャを開始します。", "予約録画を開始します。"}},
      {ID_REC_LATE_START,
       {"予約開始の時点で録画時間中の予約を、終了時刻まで録画します。", "開始済みの予約も途中から録画"}},
      {ID_CAP_SELECT_DEVICE,
       {"キャプチャデバイス、入力、画質を選択します。", "キャプチャデバイス、入力、画質を選択します"}},
      {ID_CAP_STREAM_SOURCES,
       {"IP カメラや IPTV などのネットワークストリームを、キャプチャデバイスとして追加、変更、削除します。",
        "ネットワークストリーム"}},
      {ID_CAP_PREVIEW, {"プレビュー画面のON/OFFを切り替えます。", "プレビュー画面のON/OFF"}},
      {ID_CAP_OVERLAY, {"オーバーレイ画面のON/OFFを切り替えます。", "オーバーレイ画面のON/OFF"}},
      {ID_CAP_TEST,
       {"キャプチャします。動作確認用です。キャプチャ中にESCキーを押すか、画面をクリックするとキャプチャを終了します。",
        "キャプチャのテスト"}},
      {ID_HELP_CONTENTS, {"このアプリケーションについてのヘルプを表示します。", "ヘルプを表示"}},
      {ID_TB_SELECT_DEVICE, {"キャプチャデバイスを選択します。", "キャプチャデバイス選択"}},
      {ID_TB_REC_LIST, {"予約リストを作成します。", "予約一覧"}},
      {ID_TB_REC_START, {"予約録画を開始します。", "予約録画開始"}},
  };
  return prompts;
}

}  // namespace

CommandPrompt PromptOf(int commandId) {
  const auto& prompts = Prompts();
  const auto found = prompts.find(commandId);
  return found == prompts.end() ? CommandPrompt{} : found->second;
}

}  // namespace tovalen
