#pragma once

#include <cstdint>
#include <nlohmann/json_fwd.hpp>
#include <string>
#include <vector>

#include "capture/target_check.h"
#include "schedule/schedule_file.h"
#include "web/allowed_folders.h"

namespace tovalen::web {

// The web's changes to the schedule file, each a locked load-change-save as `tovalen-rec add`
// makes it, with the editor's checks and messages. Refusals throw ApiError and leave the file
// as it was. With a target check, a new target is refused when the schedule's device cannot be
// recorded into it; what the check could not decide is handed back as a warning.
class ScheduleEditor {
 public:
  ScheduleEditor(std::string path, const AllowedFolders& folders, const RecordingTargetCheck* targetCheck = nullptr)
      : m_path(std::move(path)), m_folders(folders), m_targetCheck(targetCheck) {}

  // The file as it is now.
  ScheduleFileContents Read() const;
  // Adds the reservation of the body (and its repeats); returns what was added.
  std::vector<SYoyaku> Add(const nlohmann::json& body, std::string* warning = nullptr) const;
  // Changes the reservation starting at `start`; returns it as changed.
  SYoyaku Change(std::int64_t start, const nlohmann::json& body, std::string* warning = nullptr) const;
  void Remove(std::int64_t start) const;

  const std::string& Path() const { return m_path; }

 private:
  // Throws ApiError when the schedule's device cannot be recorded into the target.
  void CheckTargetOnDevice(const std::string& target, std::string* warning) const;

  std::string m_path;
  const AllowedFolders& m_folders;
  const RecordingTargetCheck* m_targetCheck;  // none: targets are not checked against the device
};

}  // namespace tovalen::web
