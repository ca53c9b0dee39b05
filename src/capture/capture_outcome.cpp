#include "capture/capture_outcome.h"

namespace tovalen {

std::string DescribeFailure(const CaptureOutcome& outcome) {
  std::string text;
  if (!outcome.failed && !outcome.saveError.empty()) {
    text = "the recording could not be saved: " + outcome.saveError;  // the capture itself went well
  } else {
    text = "the recording failed: " + Describe(outcome.reason);
    if (!outcome.detail.empty()) text += " (" + outcome.detail + ")";
  }
  if (!outcome.recordingPath.empty()) text += "; what was recorded is kept in " + outcome.recordingPath;
  return text;
}

}  // namespace tovalen
