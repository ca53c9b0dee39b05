#include "platform/user_folders.h"

#include <pwd.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <optional>
#include <vector>

namespace tovalen {
namespace {

constexpr const char* kRecordingName = "capture.avi";

bool IsFolder(const std::string& path) {
  std::error_code error;
  return !path.empty() && std::filesystem::is_directory(path, error);
}

std::string Environment(const char* name) {
  const char* value = std::getenv(name);
  return value ? value : "";
}

std::string HomeFolder() {
  if (std::string home = Environment("HOME"); !home.empty()) return home;
  long size = sysconf(_SC_GETPW_R_SIZE_MAX);
  std::vector<char> buffer(size > 0 ? static_cast<std::size_t>(size) : 16384);
  passwd entry{};
  passwd* found = nullptr;
  if (getpwuid_r(getuid(), &entry, buffer.data(), buffer.size(), &found) != 0 || !found || !found->pw_dir) return {};
  return found->pw_dir;
}

// One XDG_VIDEOS_DIR="..." line: the quoted value, "$HOME" at its start replaced, and the
// backslash escapes undone. The file allows only "$HOME/..." or an absolute path.
std::optional<std::string> VideosLineValue(const std::string& line, const std::string& home) {
  constexpr std::string_view kKey = "XDG_VIDEOS_DIR=\"";
  const auto start = line.find_first_not_of(" \t");
  if (start == std::string::npos || line.compare(start, kKey.size(), kKey) != 0) return std::nullopt;
  std::string value;
  for (std::size_t i = start + kKey.size(); i < line.size(); ++i) {
    if (line[i] == '"') {
      if (value.rfind("$HOME", 0) == 0 && (value.size() == 5 || value[5] == '/')) return home + value.substr(5);
      if (!value.empty() && value[0] == '/') return value;
      return std::nullopt;
    }
    if (line[i] == '\\' && i + 1 < line.size()) ++i;
    value += line[i];
  }
  return std::nullopt;  // no closing quote
}

std::optional<std::string> ConfiguredVideosFolder(const std::string& home, const std::string& configFolder) {
  std::ifstream file(std::filesystem::path(configFolder) / "user-dirs.dirs");
  std::optional<std::string> folder;
  std::string line;
  while (std::getline(file, line)) {
    if (auto value = VideosLineValue(line, home)) folder = std::move(value);  // the last one counts
  }
  return folder;
}

}  // namespace

std::string VideosFolderOf(const std::string& home, const std::string& configFolder) {
  if (home.empty()) return {};
  if (const auto configured = ConfiguredVideosFolder(home, configFolder); configured && IsFolder(*configured)) {
    return *configured;
  }
  const std::string videos = (std::filesystem::path(home) / "Videos").string();
  return IsFolder(videos) ? videos : home;
}

std::string UserVideosFolder() {
  const std::string home = HomeFolder();
  std::string config = Environment("XDG_CONFIG_HOME");
  if (config.empty() || config[0] != '/') config = (std::filesystem::path(home) / ".config").string();
  return VideosFolderOf(home, config);
}

std::string DefaultRecordingPath() {
  const std::string folder = UserVideosFolder();
  return folder.empty() ? kRecordingName : (std::filesystem::path(folder) / kRecordingName).string();
}

std::string RecordingDialogStartPath(const std::string& path) {
  const std::filesystem::path given(path);
  return given.has_filename() && given.has_parent_path() ? path : DefaultRecordingPath();
}

}  // namespace tovalen
