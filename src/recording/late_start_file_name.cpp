#include "recording/late_start_file_name.h"

#include <algorithm>
#include <filesystem>
#include <set>
#include <system_error>

#include "platform/derived_file_names.h"
#include "platform/posix_file.h"

namespace tovalen {
namespace {

namespace fs = std::filesystem;

constexpr int kMostLateNames = 999;
constexpr std::size_t kNameMaxBytes = 255;

// The names in the folder, each once; an unreadable folder gives none (the capture then fails
// on its own, saying why).
std::set<std::string> NamesIn(const fs::path& folder) {
  std::set<std::string> names;
  std::error_code error;
  for (fs::directory_iterator it(folder.empty() ? fs::path(".") : folder, error), end; !error && it != end;
       it.increment(error)) {
    names.insert(it->path().filename().string());
  }
  return names;
}

// The capture file's name for a target "<stem>.avi", or for a stream copied into "<stem>.ts"
// (.mkv, .mp4) one with the target's extension (capture/ffmpeg/capture_file.h).
bool IsLeftoverOf(const std::string& name, const std::string& stem, const std::string& extension) {
  return HasUniqueFileNameForm(name, stem + ".recording-", ".avi") ||
         HasUniqueFileNameForm(name, stem + ".recording-", extension);
}

bool IsTaken(const std::set<std::string>& names, const std::string& stem, const std::string& extension) {
  if (names.contains(stem + extension)) return true;
  return std::any_of(names.begin(), names.end(),
                     [&](const std::string& name) { return IsLeftoverOf(name, stem, extension); });
}

// Cuts the stem, at a character boundary, so that stem + suffix + extension and every name
// derived from it fit in a folder entry.
std::string FittingStem(std::string stem, std::size_t suffixBytes, std::size_t extensionBytes) {
  const std::size_t room = kNameMaxBytes - kLongestDerivedNameExtraBytes;
  if (stem.size() + suffixBytes + extensionBytes <= room) return stem;
  std::size_t keep = room > suffixBytes + extensionBytes ? room - suffixBytes - extensionBytes : 1;
  keep = std::min(keep, stem.size());
  while (keep > 1 && (static_cast<unsigned char>(stem[keep]) & 0xC0) == 0x80) --keep;
  stem.resize(keep);
  return stem;
}

}  // namespace

std::optional<std::string> LateStartFileName(const std::string& target) {
  const fs::path path(target);
  const std::string stem = path.stem().string();
  const std::string extension = path.extension().string();
  const std::set<std::string> names = NamesIn(path.parent_path());
  if (!IsTaken(names, stem, extension)) return target;
  for (int n = 1; n <= kMostLateNames; ++n) {
    const std::string suffix = n == 1 ? " (late)" : " (late " + std::to_string(n) + ")";
    const std::string candidate = FittingStem(stem, suffix.size(), extension.size()) + suffix;
    if (!IsTaken(names, candidate, extension)) return (path.parent_path() / (candidate + extension)).string();
  }
  return std::nullopt;
}

}  // namespace tovalen
