#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

namespace tovalen {

// What became of one recording that a killed or crashed capture left under its scratch name.
struct LeftoverReport {
  enum class Result {
    kRecovered,  // rebuilt at `recovered`; the leftover is gone
    kNoFrame,    // nothing readable in it: left as it is
    kInUse,      // a capture is still recording into it: left as it is
    kFailed,     // could not be rebuilt (`detail` says why): left as it is
    kPartial,    // rebuilt at `recovered` without all it holds (`detail` says what): both are kept
  };
  std::string leftover;
  Result result = Result::kFailed;
  std::string recovered;  // the rebuilt file, when kRecovered or kPartial
  std::int64_t frames = 0;
  double seconds = 0;
  std::string detail;
};

// Finds and rebuilds recordings that a capture could not finish (the process was killed, the
// machine lost power): each becomes a playable file beside it, never replacing an existing one.
class LeftoverRecovery {
 public:
  virtual ~LeftoverRecovery() = default;

  // The leftovers at the path: the file itself when it is one, a folder's leftovers sorted by
  // name, otherwise none.
  virtual std::vector<std::string> FindLeftovers(const std::string& fileOrFolder) const = 0;
  virtual LeftoverReport Recover(const std::string& leftover) = 0;
};

// One line for the report, without a line break.
std::string DescribeLeftoverReport(const LeftoverReport& report);

// The process's recovery, given where the capture driver is made; null until then (nothing is
// recovered).
void InstallLeftoverRecovery(std::shared_ptr<LeftoverRecovery> recovery);
LeftoverRecovery* InstalledLeftoverRecovery();

}  // namespace tovalen
