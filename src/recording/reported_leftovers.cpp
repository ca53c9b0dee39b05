#include "recording/reported_leftovers.h"

#include <sys/stat.h>

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <optional>
#include <sstream>
#include <system_error>

#include "platform/atomic_file.h"
#include "platform/trace.h"

namespace tovalen {
namespace {

constexpr std::size_t kMostKeys = 256;
constexpr std::size_t kLongestFileBytes = kMostKeys * 4200;  // a path of PATH_MAX and its numbers

// "size modified_ns path"; nothing for a path a line cannot hold or a file that is gone.
std::optional<std::string> KeyOf(const std::string& leftover) {
  struct stat info {};
  if (leftover.find('\n') != std::string::npos || ::stat(leftover.c_str(), &info) != 0) return std::nullopt;
  const std::int64_t modifiedNs = std::int64_t{info.st_mtim.tv_sec} * 1'000'000'000 + info.st_mtim.tv_nsec;
  return std::to_string(info.st_size) + " " + std::to_string(modifiedNs) + " " + leftover;
}

}  // namespace

ReportedLeftovers::ReportedLeftovers(std::string file) : m_file(std::move(file)) {
  if (m_file.empty()) return;
  std::string bytes;
  try {
    bytes = ReadWholeFile(m_file, kLongestFileBytes);
  } catch (const FileError&) {
    return;  // none yet, or unreadable: everything is reported again, which loses nothing
  }
  std::istringstream lines(bytes);
  for (std::string line; std::getline(lines, line);) {
    if (!line.empty()) m_keys.push_back(line);
  }
  while (m_keys.size() > kMostKeys) m_keys.pop_front();
}

std::string ReportedLeftovers::DefaultFile() {
  std::filesystem::path folder;
  if (const char* state = std::getenv("XDG_STATE_HOME"); state && *state) {
    folder = state;
  } else if (const char* home = std::getenv("HOME"); home && *home) {
    folder = std::filesystem::path(home) / ".local" / "state";
  } else {
    return "";
  }
  return (folder / "tovalen" / "unrecovered-leftovers").string();
}

bool ReportedLeftovers::ReportedBefore(const std::string& leftover) {
  const std::optional<std::string> key = KeyOf(leftover);
  if (!key) return false;
  if (std::find(m_keys.begin(), m_keys.end(), *key) != m_keys.end()) return true;
  m_keys.push_back(*key);
  if (m_keys.size() > kMostKeys) m_keys.pop_front();
  Save();
  return false;
}

void ReportedLeftovers::Save() const {
  if (m_file.empty()) return;
  std::string bytes;
  for (const std::string& key : m_keys) bytes += key + "\n";
  std::error_code ignored;
  std::filesystem::create_directories(std::filesystem::path(m_file).parent_path(), ignored);
  try {
    WriteFileAtomically(m_file, bytes);
  } catch (const FileError& error) {
    // Not remembered: the leftover is reported again at the next opening, nothing worse.
    Trace(std::string("E: ReportedLeftovers ") + error.what() + "\n");
  }
}

}  // namespace tovalen
