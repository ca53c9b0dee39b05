#include <gmock/gmock.h>
#include <wx/aui/auibar.h>
#include <wx/config.h>
#include <wx/menu.h>

#include "app/capture_panel.h"
#include "app/command_ids.h"
#include "app/command_texts.h"
#include "app/main_frame.h"
#include "app/main_status_bar.h"
#include "app/quorvel_doc.h"
#include "app_fixture.h"
#include "capture/video_cap.h"
#include "dialogs/wx_text.h"

namespace tovalen::testing {
namespace {

using namespace cmd;
using ::testing::ElementsAre;

constexpr CommandState kEnabled{true, false};
constexpr CommandState kChecked{true, true};
constexpr CommandState kDisabled{false, false};

// Every menu command of the program with the state it must show.
std::map<int, CommandState> AlwaysThere() {
  std::map<int, CommandState> states;
  for (const int id : {ID_FILE_NEW, ID_FILE_OPEN, ID_FILE_SAVE, ID_FILE_SAVE_AS, ID_APP_EXIT, ID_REC_LIST, ID_REC_START,
                       ID_CAP_SELECT_DEVICE, ID_CAP_STREAM_SOURCES, ID_CAP_VIDEO_OPTION, ID_CAP_AUDIO, ID_DEBUG_INFO,
                       ID_HELP_CONTENTS, ID_APP_ABOUT}) {
    states[id] = kEnabled;
  }
  states[ID_VIEW_TOOLBAR] = kChecked;
  states[ID_VIEW_STATUS_BAR] = kChecked;
  states[ID_REC_LATE_START] = kEnabled;  // unchecked until the user chooses it
  return states;
}

using CommandStates = AppTest;

TEST_F(CommandStates, AtStartUpNothingIsConnectedSoTheDeviceItemsAreDisabled) {
  ASSERT_TRUE(Start());
  auto expected = AlwaysThere();
  for (const int id : {ID_CAP_VIDEO_FORMAT, ID_CAP_VIDEO_SOURCE, ID_CAP_VIDEO_OUT, ID_CAP_VIDEO_COMPRESSION,
                       ID_CAP_PREVIEW, ID_CAP_OVERLAY, ID_CAP_TEST}) {
    expected[id] = kDisabled;
  }
  expected[ID_FILE_MRU_FILE1] = kDisabled;  // the placeholder of the empty recent-file list
  for (const auto& [id, state] : expected) EXPECT_EQ(MenuState(id), state) << "command " << id;

  EXPECT_EQ(CVideoCap::GetInstance().GetCaptureSettings(), SCaptureSettings{});
  EXPECT_EQ(Doc().Schedule().GetYoyakuCount(), 0);
  EXPECT_EQ(ToUtf8(Frame().GetTitle()), "無題 - Tovalen");
  EXPECT_FALSE(Doc().IsModified());
}

TEST_F(CommandStates, SelectingTheTestPatternConnectsItAndShowsItsPreview) {
  ASSERT_TRUE(Start());
  SelectTestPattern();
  auto expected = AlwaysThere();
  for (const int id : {ID_CAP_VIDEO_FORMAT, ID_CAP_VIDEO_SOURCE, ID_CAP_VIDEO_OUT, ID_CAP_VIDEO_COMPRESSION,
                       ID_CAP_OVERLAY, ID_CAP_TEST}) {
    expected[id] = kEnabled;
  }
  expected[ID_CAP_PREVIEW] = kChecked;
  for (const auto& [id, state] : expected) EXPECT_EQ(MenuState(id), state) << "command " << id;

  CapturePanel* window = CaptureWindow();
  ASSERT_NE(window, nullptr);
  EXPECT_TRUE(window->IsShown());
  EXPECT_TRUE(RunLoopUntil([&] { return window->FramesPainted() >= 3; }, std::chrono::seconds(10)));
  // The chosen device is part of what the schedule file saves.
  EXPECT_TRUE(Doc().IsModified());
}

TEST_F(CommandStates, PreviewAndOverlayTogglesShowAsCheckMarks) {
  ASSERT_TRUE(Start());
  SelectTestPattern();
  Command(ID_CAP_PREVIEW);
  EXPECT_EQ(MenuState(ID_CAP_PREVIEW), kEnabled);
  Command(ID_CAP_OVERLAY);
  EXPECT_EQ(MenuState(ID_CAP_OVERLAY), kChecked);
  Command(ID_CAP_OVERLAY);
  EXPECT_EQ(MenuState(ID_CAP_OVERLAY), kEnabled);
  EXPECT_THAT(boxes.Texts(), ElementsAre());
}

TEST_F(CommandStates, TheBarsAreShownAndHiddenFromTheViewMenu) {
  ASSERT_TRUE(Start());
  Command(ID_VIEW_TOOLBAR);
  EXPECT_FALSE(Frame().Docking().GetPane(Frame().ToolBar()).IsShown());
  EXPECT_EQ(MenuState(ID_VIEW_TOOLBAR), kEnabled);
  Command(ID_VIEW_TOOLBAR);
  EXPECT_TRUE(Frame().Docking().GetPane(Frame().ToolBar()).IsShown());

  Command(ID_VIEW_STATUS_BAR);
  EXPECT_FALSE(Frame().StatusBar()->IsShown());
  EXPECT_EQ(MenuState(ID_VIEW_STATUS_BAR), kEnabled);
  Command(ID_VIEW_STATUS_BAR);
  EXPECT_EQ(MenuState(ID_VIEW_STATUS_BAR), kChecked);
}

TEST_F(CommandStates, TheLateStartChoiceIsKeptInTheUserSettings) {
  ASSERT_TRUE(Start());
  Command(ID_REC_LATE_START);
  EXPECT_EQ(MenuState(ID_REC_LATE_START), kChecked);
  EXPECT_TRUE(wxConfigBase::Get()->ReadBool(ToWx("/Recording/LateStart"), false));
  const std::string stored = ReadFileBytes(dir.File("config/tovalen/tovalen.conf"));
  EXPECT_THAT(stored, ::testing::HasSubstr("LateStart=1"));
  Command(ID_REC_LATE_START);
  EXPECT_EQ(MenuState(ID_REC_LATE_START), kEnabled);
}

TEST_F(CommandStates, TheToolbarHasSevenButtonsInThreeGroupsThatDockAnywhere) {
  ASSERT_TRUE(Start());
  wxAuiToolBar* bar = Frame().ToolBar();
  std::vector<int> ids;
  std::vector<std::string> tooltips;
  for (std::size_t i = 0; i < bar->GetToolCount(); ++i) {
    const wxAuiToolBarItem* item = bar->FindToolByIndex(static_cast<int>(i));
    ids.push_back(item->GetKind() == wxITEM_SEPARATOR ? 0 : item->GetId());
    if (item->GetKind() != wxITEM_SEPARATOR) {
      tooltips.push_back(ToUtf8(item->GetShortHelp()));
      EXPECT_EQ(ToUtf8(item->GetLongHelp()), PromptOf(item->GetId()).prompt);
      EXPECT_TRUE(item->GetBitmapBundle().IsOk());
    }
  }
  EXPECT_THAT(ids, ElementsAre(ID_FILE_NEW, ID_FILE_OPEN, ID_FILE_SAVE, 0, ID_TB_SELECT_DEVICE, ID_TB_REC_LIST,
                               ID_TB_REC_START, 0, ID_HELP_CONTENTS));
  EXPECT_THAT(tooltips, ElementsAre("新規ファイル", "開く", "保存", "キャプチャデバイス選択", "予約一覧",
                                    "予約録画開始", "ヘルプを表示"));
  const wxAuiPaneInfo& pane = Frame().Docking().GetPane(bar);
  EXPECT_TRUE(pane.IsToolbar());
  EXPECT_TRUE(pane.IsTopDockable() && pane.IsBottomDockable() && pane.IsLeftDockable() && pane.IsRightDockable());
  EXPECT_TRUE(pane.IsFloatable());
}

TEST_F(CommandStates, TheStatusBarShowsTheIdleTextThenPromptsOfHighlightedCommands) {
  ASSERT_TRUE(Start());
  MainStatusBar* bar = Frame().StatusBar();
  ASSERT_EQ(bar->GetFieldsCount(), MainStatusBar::kPaneCount);
  EXPECT_EQ(ToUtf8(bar->GetStatusText(0)), kIdleStatusText);

  wxMenuEvent highlight(wxEVT_MENU_HIGHLIGHT, ID_CAP_TEST);
  Frame().ProcessWindowEvent(highlight);
  EXPECT_EQ(ToUtf8(bar->GetStatusText(0)), PromptOf(ID_CAP_TEST).prompt);
  Frame().DoGiveHelp(wxString(), false);  // the menu closes
  EXPECT_EQ(ToUtf8(bar->GetStatusText(0)), kIdleStatusText);
}

TEST_F(CommandStates, ToolbarButtonsActLikeTheirMenuItems) {
  ASSERT_TRUE(Start());
  Command(ID_TB_REC_START);
  Command(ID_REC_START);
  EXPECT_THAT(boxes.Texts(),
              ElementsAre("キャプチャデバイスを選択してください", "キャプチャデバイスを選択してください"));
}

}  // namespace
}  // namespace tovalen::testing
