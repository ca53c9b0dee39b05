#include "web/static_assets.h"

#include <array>
#include <cstdlib>
#include <map>

namespace tovalen::web {
namespace {

std::filesystem::path ExecutableDirectory() {
  std::error_code error;
  const auto exe = std::filesystem::read_symlink("/proc/self/exe", error);
  return error ? std::filesystem::path() : exe.parent_path();
}

bool IsFolder(const std::filesystem::path& folder) {
  std::error_code error;
  return !folder.empty() && std::filesystem::is_directory(folder, error);
}

bool IsPlainName(const std::string& name) {
  if (name.empty() || name.front() == '.' || name.size() > 100) return false;
  for (const char c : name) {
    const bool plain =
        (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == '.' || c == '-' || c == '_';
    if (!plain) return false;
  }
  return true;
}

}  // namespace

std::optional<std::filesystem::path> FindWebAssets() {
  // A folder named by the environment comes first, for tests of the pages themselves.
  if (const char* named = std::getenv("TOVALEN_WEB_DIR"); named && *named) {
    if (IsFolder(named)) return std::filesystem::path(named);
  }
  const std::filesystem::path exe = ExecutableDirectory();
  const bool inBuildTree = exe.string().starts_with(TOVALEN_BUILD_ROOT);
  const std::array<std::filesystem::path, 3> folders = {
      inBuildTree ? std::filesystem::path(TOVALEN_SOURCE_WEB_DIR) : std::filesystem::path(),
      std::filesystem::path(TOVALEN_INSTALLED_WEB_DIR),
      exe.empty() ? exe : exe / ".." / "share" / "tovalen" / "web",  // installed under another prefix
  };
  for (const auto& folder : folders) {
    if (IsFolder(folder)) return folder;
  }
  return std::nullopt;
}

std::optional<AssetFile> AssetFor(const std::filesystem::path& folder, const std::string& urlPath) {
  static const std::map<std::string, std::string> kTypes = {{".html", "text/html; charset=utf-8"},
                                                            {".css", "text/css; charset=utf-8"},
                                                            {".js", "text/javascript; charset=utf-8"},
                                                            {".png", "image/png"},
                                                            {".svg", "image/svg+xml"},
                                                            {".ico", "image/x-icon"},
                                                            {".webmanifest", "application/manifest+json"},
                                                            {".json", "application/json"}};
  if (urlPath.empty() || urlPath.front() != '/') return std::nullopt;
  const std::string name = urlPath == "/" ? "index.html" : urlPath.substr(1);
  if (!IsPlainName(name)) return std::nullopt;
  const auto type = kTypes.find(std::filesystem::path(name).extension().string());
  if (type == kTypes.end()) return std::nullopt;
  std::error_code error;
  const std::filesystem::path file = folder / name;
  if (!std::filesystem::is_regular_file(std::filesystem::symlink_status(file, error))) return std::nullopt;
  return AssetFile{file, type->second};
}

}  // namespace tovalen::web
