#pragma once

#include <filesystem>
#include <optional>
#include <string>

namespace tovalen::web {

// The folder of the web pages: the source tree's res/web when the program runs from its build
// tree, else the installed share/tovalen/web beside the program's bin folder; nothing when
// neither exists.
std::optional<std::filesystem::path> FindWebAssets();

// The file a page path names in the folder ("/" is index.html) and its content type; nothing for
// a name that is not a plain page file (no folders, hidden files or unknown kinds).
struct AssetFile {
  std::filesystem::path path;
  std::string contentType;
};
std::optional<AssetFile> AssetFor(const std::filesystem::path& folder, const std::string& urlPath);

}  // namespace tovalen::web
