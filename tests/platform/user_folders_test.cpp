#include "platform/user_folders.h"

#include <gtest/gtest.h>
#include <stdlib.h>

#include <filesystem>
#include <optional>

#include "support/temp_dir.h"

namespace tovalen {
namespace {

using testing::TempDir;
using testing::WriteFileBytes;

class ScopedEnv {
 public:
  ScopedEnv(const char* name, const std::string& value) : m_name(name) {
    if (const char* old = getenv(name)) m_old = old;
    setenv(name, value.c_str(), 1);
  }
  ~ScopedEnv() { m_old ? setenv(m_name, m_old->c_str(), 1) : unsetenv(m_name); }

 private:
  const char* m_name;
  std::optional<std::string> m_old;
};

class UserFolders : public ::testing::Test {
 protected:
  UserFolders() {
    std::filesystem::create_directories(config);
    std::filesystem::create_directories(home + "/Filme");
  }
  void Configure(const std::string& lines) { WriteFileBytes(config + "/user-dirs.dirs", lines); }

  TempDir dir;
  const std::string home = dir.File("home");
  const std::string config = dir.File("config");
};

TEST_F(UserFolders, TheConfiguredVideosFolderWinsWhileItExists) {
  Configure(
      "# XDG_VIDEOS_DIR=\"$HOME/Commented\"\n"
      "XDG_MUSIC_DIR=\"$HOME\"\n"
      "XDG_VIDEOS_DIR=\"$HOME/Old\"\n"
      "  XDG_VIDEOS_DIR=\"$HOME/Filme\"\n");
  EXPECT_EQ(VideosFolderOf(home, config), home + "/Filme");

  std::filesystem::create_directories(home + "/My \"Videos\"");
  Configure("XDG_VIDEOS_DIR=\"$HOME/My \\\"Videos\\\"\"\n");
  EXPECT_EQ(VideosFolderOf(home, config), home + "/My \"Videos\"");

  Configure("XDG_VIDEOS_DIR=\"" + home + "/Filme\"\n");
  EXPECT_EQ(VideosFolderOf(home, config), home + "/Filme");
}

TEST_F(UserFolders, WithoutAUsableEntryItFallsBackToVideosThenHome) {
  for (const char* lines : {"", "XDG_VIDEOS_DIR=\"$HOME/Missing\"\n", "XDG_VIDEOS_DIR=\"Filme\"\n",
                            "XDG_VIDEOS_DIR=\"$HOMEFilme\"\n", "XDG_VIDEOS_DIR=\"$HOME/Filme\n"}) {
    Configure(lines);
    EXPECT_EQ(VideosFolderOf(home, config), home) << lines;
  }
  std::filesystem::create_directories(home + "/Videos");
  Configure("XDG_VIDEOS_DIR=\"$HOME/Missing\"\n");
  EXPECT_EQ(VideosFolderOf(home, config), home + "/Videos");
  std::filesystem::remove(config + "/user-dirs.dirs");
  EXPECT_EQ(VideosFolderOf(home, config), home + "/Videos");
}

TEST_F(UserFolders, AForeignRecordingNameStartsTheDialogInTheVideosFolder) {
  Configure("XDG_VIDEOS_DIR=\"$HOME/Filme\"\n");
  const ScopedEnv homeEnv("HOME", home);
  const ScopedEnv configEnv("XDG_CONFIG_HOME", config);
  EXPECT_EQ(DefaultRecordingPath(), home + "/Filme/capture.avi");
  EXPECT_EQ(RecordingDialogStartPath("C:\\capture.avi"), home + "/Filme/capture.avi");
  EXPECT_EQ(RecordingDialogStartPath("news.avi"), home + "/Filme/capture.avi");
  EXPECT_EQ(RecordingDialogStartPath(""), home + "/Filme/capture.avi");
  EXPECT_EQ(RecordingDialogStartPath("/media/gone/news.avi"), "/media/gone/news.avi");
}

}  // namespace
}  // namespace tovalen
