#pragma once

#include <cstdint>
#include <nlohmann/json_fwd.hpp>
#include <string>
#include <vector>

#include "schedule/schedule_file.h"
#include "web/allowed_folders.h"

namespace tovalen::web {

// The web's changes to the schedule file, each a locked load-change-save as `tovalen-rec add`
// makes it, with the editor's checks and messages. Refusals throw ApiError and leave the file
// as it was.
class ScheduleEditor {
 public:
  ScheduleEditor(std::string path, const AllowedFolders& folders) : m_path(std::move(path)), m_folders(folders) {}

  // The file as it is now.
  ScheduleFileContents Read() const;
  // Adds the reservation of the body (and its repeats); returns what was added.
  std::vector<SYoyaku> Add(const nlohmann::json& body) const;
  // Changes the reservation starting at `start`; returns it as changed.
  SYoyaku Change(std::int64_t start, const nlohmann::json& body) const;
  void Remove(std::int64_t start) const;

  const std::string& Path() const { return m_path; }

 private:
  std::string m_path;
  const AllowedFolders& m_folders;
};

}  // namespace tovalen::web
