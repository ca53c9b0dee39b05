#include "dialogs/help_viewer.h"

#include <gmock/gmock.h>
#include <wx/app.h>
#include <wx/display.h>
#include <wx/frame.h>
#include <wx/html/helpfrm.h>
#include <wx/html/htmlcell.h>
#include <wx/html/htmlwin.h>

#include <set>
#include <string>

#include "dialogs/dlg_set_audio_property.h"
#include "dialogs/japanese_help_pages.h"
#include "dialogs/wx_text.h"
#include "res/resource_ids.h"
#include "support/dialog_driver.h"

namespace tovalen::testing {
namespace {

using ::testing::EndsWith;

// Windows closed by the help viewer go at the next idle time, as in the running program.
void LetWxTidyUp() {
  wxTheApp->ProcessPendingEvents();
  wxTheApp->ProcessIdle();
}

class HelpViewerTest : public ::testing::Test {
 protected:
  ~HelpViewerTest() override {
    HelpViewer::Instance().CloseAll();
    LetWxTidyUp();
    HelpViewer::Shutdown();
  }

  HelpViewer& viewer = HelpViewer::Instance();
};

TEST_F(HelpViewerTest, TwoRequestsLeaveOneHelpWindowOnTheLastPage) {
  viewer.SetBook(TOVALEN_TEST_HELP_BOOK);
  ShowHelp(nullptr, help_page::kNewRec);
  EXPECT_EQ(viewer.OpenWindowCount(), 1);
  EXPECT_THAT(viewer.ShownPage(), EndsWith("dlg_new_rec.htm"));
  ShowHelp(nullptr, help_page::kRecList);
  LetWxTidyUp();
  EXPECT_EQ(viewer.OpenWindowCount(), 1);
  EXPECT_THAT(viewer.ShownPage(), EndsWith("dlg_rec_list.htm"));
  ShowHelp(nullptr, help_page::kAudio);  // the viewer still knows the window it opened last
  LetWxTidyUp();
  EXPECT_EQ(viewer.OpenWindowCount(), 1);
}

TEST_F(HelpViewerTest, AHelpWindowThatWentWithItsOwnerIsNotTouchedAgain) {
  viewer.SetBook(TOVALEN_TEST_HELP_BOOK);
  auto* owner = new wxFrame(nullptr, wxID_ANY, wxString(), wxPoint(300, 250), wxSize(500, 400));
  owner->Show();
  ShowHelp(owner, help_page::kNewRec);
  EXPECT_EQ(viewer.OpenWindowCount(), 1);
  // A readable size, centred on its owner (the test screen has room for it).
  const wxRect help = wxDynamicCast(wxTopLevelWindows.GetLast()->GetData(), wxHtmlHelpFrame)->GetScreenRect();
  const wxRect screen = wxDisplay(0u).GetClientArea();
  EXPECT_GE(help.width, std::min(800, screen.width * 9 / 10));
  EXPECT_GE(help.height, std::min(600, screen.height * 9 / 10));
  EXPECT_TRUE(screen.Contains(help));
  EXPECT_NEAR(help.GetX() + help.GetWidth() / 2, owner->GetScreenRect().GetX() + 250, 2);
  EXPECT_NEAR(help.GetY() + help.GetHeight() / 2, owner->GetScreenRect().GetY() + 200, 2);
  owner->Destroy();  // takes its help window along
  LetWxTidyUp();
  EXPECT_EQ(viewer.OpenWindowCount(), 0);
  ShowHelp(nullptr, help_page::kAudio);
  EXPECT_EQ(viewer.OpenWindowCount(), 1);
  EXPECT_THAT(viewer.ShownPage(), EndsWith("dlg_cap_audio.htm"));
}

TEST_F(HelpViewerTest, ContentsShowTheBooksDefaultPage) {
  viewer.SetBook(TOVALEN_TEST_HELP_BOOK);
  ShowHelp(nullptr, help_page::kContents);
  EXPECT_THAT(viewer.ShownPage(), EndsWith("index.htm"));
}

TEST_F(HelpViewerTest, EveryPageTheDialogsAskForIsInTheBookAndItsIndexLeadsToEveryPage) {
  viewer.SetBook(TOVALEN_TEST_HELP_BOOK);
  for (const char* page : {help_page::kNewRec, help_page::kRecList, help_page::kSelectCapDevice, help_page::kAudio,
                           help_page::kVideoOption, help_page::kStreamSources}) {
    ShowHelp(nullptr, page);
    EXPECT_THAT(viewer.ShownPage(), EndsWith(page));
  }
  const wxHtmlHelpData* book =
      wxDynamicCast(wxTopLevelWindows.GetLast()->GetData(), wxHtmlHelpFrame)->GetHelpWindow()->GetData();
  std::set<std::string> indexed, listed;  // the pages the index and the contents lead to
  for (std::size_t i = 0; i < book->GetIndexArray().size(); ++i)
    indexed.insert(ToUtf8(book->GetIndexArray()[i].GetFullPath()));
  for (std::size_t i = 0; i < book->GetContentsArray().size(); ++i)
    listed.insert(ToUtf8(book->GetContentsArray()[i].GetFullPath()));
  EXPECT_EQ(indexed, listed);
}

TEST_F(HelpViewerTest, AHelpButtonOpensItsPageAndTheDialogStaysUsable) {
  viewer.SetBook(TOVALEN_TEST_HELP_BOOK);
  CDlgSetAudioProperty dialog;
  dialog.InitDialog();
  Click(&dialog, res::IDC_BUTTON_HELP_AUDIO);
  EXPECT_THAT(viewer.ShownPage(), EndsWith("dlg_cap_audio.htm"));
  EXPECT_EQ(dialog.GetReturnCode(), 0);
}

// wx's HTML window breaks lines only at spaces, and Japanese has none.
TEST_F(HelpViewerTest, JapaneseTextBreaksInsideTheWindowWithoutStraySpaces) {
  BreakJapaneseLinesInHtmlPages();
  auto* frame = new wxFrame(nullptr, wxID_ANY, wxString(), wxDefaultPosition, wxSize(240, 400));
  auto* page = new wxHtmlWindow(frame, wxID_ANY, wxDefaultPosition, wxSize(240, 400), wxHW_SCROLLBAR_NEVER);
  const std::string sentence = "録画開始日時・録画終了日時・保存ファイル名・番組名を設定します。";
  page->SetPage(
      ToWx("<p>" + sentence + "</p><p>カレンダーで日付をクリックし、\nその下の<b>欄</b>\nで時刻を設定します。</p>"));
  const wxHtmlContainerCell* body = page->GetInternalRepresentation();
  EXPECT_LE(body->GetWidth(), page->GetClientSize().x);  // one line would be twice as wide
  std::string text = ToUtf8(page->ToText());
  std::erase(text, '\n');  // between the paragraphs
  EXPECT_EQ(text, sentence + "カレンダーで日付をクリックし、その下の欄で時刻を設定します。");
  frame->Destroy();
}

TEST_F(HelpViewerTest, WithoutABookHelpDoesNothing) {
  MessageBoxRecorder boxes;
  viewer.SetBook("/nonexistent/Tovalen.hhp");
  CDlgSetAudioProperty dialog;
  dialog.InitDialog();
  Click(&dialog, res::IDC_BUTTON_HELP_AUDIO);
  ShowHelp(nullptr, help_page::kContents);
  EXPECT_EQ(viewer.OpenWindowCount(), 0);
  EXPECT_TRUE(boxes.Boxes().empty());
  Click(&dialog, res::IDCANCEL);  // the dialog still works
  EXPECT_EQ(dialog.GetReturnCode(), res::IDCANCEL);
}

}  // namespace
}  // namespace tovalen::testing
