#include <gmock/gmock.h>
#include <sys/stat.h>
#include <wx/dnd.h>
#include <wx/fileconf.h>
#include <wx/filehistory.h>
#include <wx/menu.h>

#include <filesystem>

#include "app/command_ids.h"
#include "app/main_frame.h"
#include "app/quorvel_doc.h"
#include "app/quorvel_doc_manager.h"
#include "app_fixture.h"
#include "capture/video_cap.h"
#include "dialogs/save_file_dialog.h"
#include "dialogs/wx_text.h"
#include "schedule/schedule_file.h"

namespace tovalen::testing {
namespace {

using namespace cmd;
using ::testing::ElementsAre;
using ::testing::HasSubstr;
using ::testing::IsEmpty;
using ::testing::SizeIs;

// Answers the open dialog with a path, or cancels it.
class ScopedOpenFileAnswer {
 public:
  explicit ScopedOpenFileAnswer(std::optional<std::string> path)
      : m_previous(SetOpenFilePresenter([path](wxWindow*) { return path; })) {}
  ~ScopedOpenFileAnswer() { SetOpenFilePresenter(std::move(m_previous)); }

 private:
  OpenFilePresenter m_previous;
};

SCaptureSettings SomeSettings() {
  SCaptureSettings settings;
  settings.videoOption = {3, true};
  settings.audioProperty = {0, 0, 0};
  settings.iCapDriverId = 0;
  return settings;
}

class Document : public AppTest {
 protected:
  // A schedule file with these settings and two reservations.
  std::string WriteSchedule(const std::string& name, const SCaptureSettings& settings = SomeSettings()) {
    CYoyakuSchedule schedule;
    schedule.AddYoyaku(Reservation(Clock::Now() + 3600, 60, "朝のニュース", "/v/" + name + "-a.avi"));
    schedule.AddYoyaku(Reservation(Clock::Now() + 7200, 90, "番組", "/v/" + name + "-b.avi"));
    const std::string path = dir.File(name + ".yyk");
    SaveScheduleFile(path, settings, schedule);
    return path;
  }
  std::string Title() const { return ToUtf8(Doc().GetTitle()); }
  std::vector<std::string> RecentFiles() const {
    std::vector<std::string> files;
    for (std::size_t i = 0; i < Manager().GetHistoryFilesCount(); ++i)
      files.push_back(ToUtf8(Manager().GetHistoryFile(i)));
    return files;
  }
};

TEST_F(Document, SavedScheduleAndSettingsComeBackWhenReopened) {
  ASSERT_TRUE(Start());
  Doc().Schedule().AddYoyaku(Reservation(Clock::Now() + 7200, 30, "二番目", "/v/b.avi"));
  Doc().Schedule().AddYoyaku(Reservation(Clock::Now() + 3600, 45, "一番目", "/v/a.avi"));
  CVideoCap::GetInstance().SetCaptureSettings(SomeSettings());
  EXPECT_TRUE(Doc().IsModified());
  const std::vector<SYoyaku> saved = Doc().Schedule().Items();

  const std::string file = dir.File("schedule.yyk");
  {
    const ScopedSaveFilePresenter answer([&](const SaveFileQuestion& question) {
      EXPECT_THAT(question.filters,
                  ElementsAre(std::pair<std::string, std::string>("Tovalen ファイル (*.yyk)", "*.yyk")));
      EXPECT_EQ(question.defaultExtension, "yyk");
      return file;
    });
    Command(ID_FILE_SAVE);  // untitled: asks for a name
  }
  EXPECT_FALSE(Doc().IsModified());
  EXPECT_EQ(Title(), "schedule.yyk");
  EXPECT_EQ(ToUtf8(Frame().GetTitle()), "schedule.yyk - Tovalen");

  // New keeps what is there and only drops the name; then the schedule and settings change.
  Command(ID_FILE_NEW);
  EXPECT_EQ(Title(), "無題");
  EXPECT_EQ(Doc().Schedule().Items(), saved);
  Doc().Schedule().ClearYoyaku();
  CVideoCap::GetInstance().SetCaptureSettings({});

  const MessageBoxRecorder discard(MessageAnswer::kNo);
  const ScopedOpenFileAnswer open(file);
  Command(ID_FILE_OPEN);
  EXPECT_THAT(discard.Texts(), ElementsAre("無題 への変更を保存しますか?"));
  EXPECT_EQ(Doc().Schedule().Items(), saved);
  EXPECT_EQ(CVideoCap::GetInstance().GetCaptureSettings(), SomeSettings());
  EXPECT_EQ(Title(), "schedule.yyk");
  EXPECT_FALSE(Doc().IsModified());
  EXPECT_THAT(RecentFiles(), ElementsAre(file));
}

TEST_F(Document, AFileThatCannotBeReadChangesNothingAndSaysWhy) {
  const std::string good = WriteSchedule("good");
  ASSERT_TRUE(Start({good}));
  Doc().Schedule().ClearYoyaku();  // an unsaved change
  const std::vector<SYoyaku> before = Doc().Schedule().Items();

  const std::string damaged = dir.File("damaged.yyk");
  std::string bytes = ReadFileBytes(good);
  bytes.resize(bytes.size() - 3);
  WriteFileBytes(damaged, bytes);
  EXPECT_FALSE(Manager().OpenDocumentFile(damaged));
  EXPECT_FALSE(Manager().OpenDocumentFile(dir.File("missing.yyk")));
  const std::string pipe = dir.File("pipe.yyk");
  ASSERT_EQ(::mkfifo(pipe.c_str(), 0600), 0);
  EXPECT_FALSE(Manager().OpenDocumentFile(pipe));  // refused, not waited on

  ASSERT_THAT(boxes.Boxes(), SizeIs(3));  // no question about saving: nothing was going to replace it
  EXPECT_EQ(boxes.Boxes()[0].caption, "Tovalen");
  EXPECT_EQ(boxes.Boxes()[0].icon, MessageIcon::kStop);
  EXPECT_THAT(boxes.Boxes()[0].text, HasSubstr("ファイルを開けませんでした。"));
  EXPECT_THAT(boxes.Boxes()[0].text, HasSubstr(damaged + " is not a usable schedule file"));
  EXPECT_THAT(boxes.Boxes()[1].text, HasSubstr("missing.yyk"));
  EXPECT_THAT(boxes.Boxes()[2].text, HasSubstr("not a regular file"));
  EXPECT_EQ(Title(), "good.yyk");
  EXPECT_EQ(Doc().Schedule().Items(), before);
  EXPECT_EQ(CVideoCap::GetInstance().GetCaptureSettings(), SomeSettings());
  EXPECT_TRUE(Doc().IsModified());
  EXPECT_THAT(RecentFiles(), ElementsAre(good));
}

TEST_F(Document, UnsavedChangesAreAskedAboutBeforeNewOpenAndExit) {
  const std::string file = WriteSchedule("kept");
  ASSERT_TRUE(Start({file}));
  EXPECT_FALSE(Doc().IsModified());
  SAudioProperty audio;
  audio.nChannels = 0;
  CVideoCap::GetInstance().SetAudioProperty(audio);  // what the audio dialog does on OK
  ASSERT_TRUE(Doc().IsModified());

  {
    const MessageBoxRecorder keep(MessageAnswer::kCancel);
    Command(ID_FILE_NEW);
    const ScopedOpenFileAnswer open(WriteSchedule("other"));
    Command(ID_FILE_OPEN);
    EXPECT_FALSE(Frame().Close(false));
    EXPECT_THAT(keep.Texts(), ElementsAre("kept.yyk への変更を保存しますか?", "kept.yyk への変更を保存しますか?",
                                          "kept.yyk への変更を保存しますか?"));
  }
  EXPECT_EQ(Title(), "kept.yyk");
  EXPECT_EQ(CVideoCap::GetInstance().GetAudioProperty(), audio);
  EXPECT_FALSE(Frame().IsBeingDeleted());

  {
    const MessageBoxRecorder save(MessageAnswer::kYes);
    Command(ID_FILE_NEW);
    EXPECT_THAT(save.Texts(), SizeIs(1));
  }
  EXPECT_EQ(DecodeScheduleFile(ReadFileBytes(file)).settings.audioProperty, audio);
  EXPECT_EQ(Title(), "無題");
  EXPECT_FALSE(Doc().IsModified());
}

TEST_F(Document, ACorruptFileOnTheCommandLineEndsStartUpWithTheReason) {
  const std::string file = dir.File("corrupt.yyk");
  WriteFileBytes(file, std::string("\x01\x00\x00\x00\x00\x00", 6));
  std::vector<MessageBoxRequest> shown;
  bool windowShown = false;
  const ScopedMessageBoxPresenter answer([&](const MessageBoxRequest& request) {
    shown.push_back(request);
    windowShown = App().MainFrame() && App().MainFrame()->IsShown();
    return MessageAnswer::kOk;
  });
  EXPECT_FALSE(Start({file}));
  ASSERT_THAT(shown, SizeIs(1));
  EXPECT_THAT(shown[0].text, HasSubstr(file + " is not a usable schedule file"));
  EXPECT_THAT(shown[0].text, HasSubstr("capture settings"));
  EXPECT_FALSE(windowShown);  // the program ends without ever showing its window
  EXPECT_EQ(App().MainFrame(), nullptr);
}

TEST_F(Document, AnEmptyFileIsRefusedAndWhatWasOpenStays) {
  ASSERT_TRUE(Start());
  Doc().Schedule().AddYoyaku(Reservation(Clock::Now() + 3600, 60, "番組", "/v/a.avi"));
  Doc().Modify(false);
  const std::string title = Title();
  const std::string empty = dir.File("empty.yyk");
  WriteFileBytes(empty, "");
  EXPECT_FALSE(Manager().OpenDocumentFile(empty));
  EXPECT_EQ(Title(), title);
  EXPECT_EQ(Doc().Schedule().GetYoyakuCount(), 1);
  EXPECT_FALSE(Doc().IsModified());
  EXPECT_THAT(boxes.Texts(), ElementsAre(HasSubstr(empty + " is not a usable schedule file: the file is empty")));
  EXPECT_EQ(ReadFileBytes(empty), "");
}

TEST_F(Document, TheRecentFileListNeverHoldsMoreThanFour) {
  ASSERT_TRUE(Start());
  std::vector<std::string> files;
  for (const char* name : {"one", "two", "three", "four", "five"}) {
    files.push_back(WriteSchedule(name));
    ASSERT_TRUE(Manager().OpenDocumentFile(files.back()));
  }
  EXPECT_THAT(RecentFiles(), ElementsAre(files[4], files[3], files[2], files[1]));
  wxMenuBar* menus = Frame().GetMenuBar();
  EXPECT_EQ(ToUtf8(menus->FindItem(ID_FILE_MRU_FILE1)->GetItemLabel()), "&1 " + files[4]);
  EXPECT_NE(menus->FindItem(ID_FILE_MRU_FILE1 + 3), nullptr);
  EXPECT_EQ(menus->FindItem(ID_FILE_MRU_FILE1 + 4), nullptr);

  Command(ID_FILE_MRU_FILE1 + 3);  // the oldest one moves to the top
  EXPECT_EQ(Title(), "two.yyk");
  EXPECT_EQ(RecentFiles().front(), files[1]);

  // The list outlives the run, and a longer list in the settings store is cut to four.
  Stop();
  {
    wxFileConfig store(ToWx("Tovalen"), wxString(), ToWx(dir.File("config/tovalen/tovalen.conf")), wxString(),
                       wxCONFIG_USE_LOCAL_FILE);
    EXPECT_TRUE(store.HasEntry(ToWx("file4")));
    store.Write(ToWx("file5"), ToWx(files[0]));
    store.Write(ToWx("file6"), ToWx(files[0]));
  }
  ASSERT_TRUE(Start());
  EXPECT_THAT(RecentFiles(), SizeIs(4));
  EXPECT_EQ(RecentFiles().front(), files[1]);
}

TEST_F(Document, ARecentFileThatIsGoneLeavesTheList) {
  ASSERT_TRUE(Start());
  const std::string file = WriteSchedule("gone");
  ASSERT_TRUE(Manager().OpenDocumentFile(file));
  std::filesystem::remove(file);
  Command(ID_FILE_MRU_FILE1);
  EXPECT_THAT(RecentFiles(), IsEmpty());
  EXPECT_THAT(boxes.Texts(), ElementsAre(HasSubstr("gone.yyk")));
  EXPECT_FALSE(Frame().GetMenuBar()->FindItem(ID_FILE_MRU_FILE1)->IsEnabled());
}

TEST_F(Document, AFileDroppedOnTheWindowIsOpened) {
  ASSERT_TRUE(Start());
  const std::string file = WriteSchedule("dropped");
  auto* files = new wxString[1]{ToWx(file)};  // the event deletes them
  wxDropFilesEvent drop(wxEVT_DROP_FILES, 1, files);
  Frame().ProcessWindowEvent(drop);
  EXPECT_EQ(Title(), "dropped.yyk");
  EXPECT_EQ(Doc().Schedule().GetYoyakuCount(), 2);
}

TEST_F(Document, SavingOverAFileChangedOnDiskAsksFirst) {
  const std::string file = WriteSchedule("shared");
  ASSERT_TRUE(Start({file}));
  Doc().Schedule().ClearYoyaku();
  WriteSchedule("shared", {});  // another program saves it meanwhile
  const std::string theirs = ReadFileBytes(file);
  {
    const MessageBoxRecorder keep(MessageAnswer::kNo);
    Command(ID_FILE_SAVE);
    ASSERT_THAT(keep.Boxes(), SizeIs(1));
    EXPECT_EQ(keep.Boxes()[0].icon, MessageIcon::kQuestion);
    EXPECT_EQ(keep.Boxes()[0].buttons, MessageButtons::kYesNo);
    EXPECT_THAT(keep.Texts()[0], HasSubstr("他のプログラムによって変更されています"));
  }
  EXPECT_EQ(ReadFileBytes(file), theirs);
  EXPECT_TRUE(Doc().IsModified());
  {
    const MessageBoxRecorder overwrite(MessageAnswer::kYes);
    Command(ID_FILE_SAVE);
    EXPECT_THAT(overwrite.Boxes(), SizeIs(1));
  }
  EXPECT_THAT(LoadScheduleFile(file).reservations, IsEmpty());
  EXPECT_FALSE(Doc().IsModified());
  // What this program saved itself is not a change by another.
  Doc().Schedule().AddYoyaku(Reservation(Clock::Now() + 3600, 60, "番組", "/v/a.avi"));
  Command(ID_FILE_SAVE);
  EXPECT_THAT(boxes.Boxes(), IsEmpty());
  EXPECT_THAT(LoadScheduleFile(file).reservations, SizeIs(1));
}

TEST_F(Document, AFailedSaveKeepsTheChangesAndSaysWhy) {
  ASSERT_TRUE(Start());
  Doc().Schedule().AddYoyaku(Reservation(Clock::Now() + 3600, 60, "番組", "/v/a.avi"));
  const ScopedSaveFilePresenter answer([&](const SaveFileQuestion&) { return dir.File("no/such/folder/x.yyk"); });
  Command(ID_FILE_SAVE_AS);
  ASSERT_THAT(boxes.Boxes(), SizeIs(1));
  EXPECT_THAT(boxes.Boxes()[0].text, HasSubstr("ファイルを保存できませんでした。"));
  EXPECT_TRUE(Doc().IsModified());
  EXPECT_EQ(Title(), "無題");
  EXPECT_THAT(RecentFiles(), IsEmpty());
}

}  // namespace
}  // namespace tovalen::testing
