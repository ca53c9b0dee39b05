#include "dialogs/help_viewer.h"

#include <gmock/gmock.h>
#include <wx/app.h>
#include <wx/frame.h>

#include "dialogs/dlg_set_audio_property.h"
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
  auto* owner = new wxFrame(nullptr, wxID_ANY, wxString());
  ShowHelp(owner, help_page::kNewRec);
  EXPECT_EQ(viewer.OpenWindowCount(), 1);
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

TEST_F(HelpViewerTest, EveryPageTheDialogsAskForIsInTheBook) {
  viewer.SetBook(TOVALEN_TEST_HELP_BOOK);
  for (const char* page : {help_page::kNewRec, help_page::kRecList, help_page::kSelectCapDevice, help_page::kAudio,
                           help_page::kVideoOption}) {
    ShowHelp(nullptr, page);
    EXPECT_THAT(viewer.ShownPage(), EndsWith(page));
  }
}

TEST_F(HelpViewerTest, AHelpButtonOpensItsPageAndTheDialogStaysUsable) {
  viewer.SetBook(TOVALEN_TEST_HELP_BOOK);
  CDlgSetAudioProperty dialog;
  dialog.InitDialog();
  Click(&dialog, res::IDC_BUTTON_HELP_AUDIO);
  EXPECT_THAT(viewer.ShownPage(), EndsWith("dlg_cap_audio.htm"));
  EXPECT_EQ(dialog.GetReturnCode(), 0);
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
