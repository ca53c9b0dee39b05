#include "capture/ffmpeg/capture_window_state.h"
#include "capture/ffmpeg/ffmpeg_capture_driver.h"
#include "platform/trace.h"

namespace tovalen::ffmpeg {

// The tail of CaptureSequence without its frame notices, preview or outcome: the caller's loop
// is never run again, so only the file matters.
FinalSave FfmpegCaptureDriver::FinishForExit(CaptureWindowHandle window, const std::string& path) {
  const auto state = Find(window);
  if (!state || !state->running || !state->runningFile) return FinalSave::kNothingRunning;
  RunningCapture& pipeline = *state->running;
  CaptureFile& file = *state->runningFile;
  pipeline.RequestStop(StopReason::kTerminationSignal);
  const CaptureOutcome outcome = pipeline.Finish();
  Trace("D: capture: ended for the exit, " + std::to_string(outcome.framesWritten) + " frames written; " +
        Describe(outcome.reason) + "\n");
  if (outcome.framesWritten > 0) file.MarkRecorded();
  const bool closed = file.Close();
  if (!file.Recorded() || !closed || IsFailure(outcome.reason)) {
    if (file.Recorded()) Trace("E: capture: what was recorded is kept in " + file.Path() + "\n");
    return FinalSave::kNotSaved;
  }
  const auto saved = file.SaveAs(path);
  if (saved) return FinalSave::kSaved;
  Trace("E: capture driver: " + DescribeSaveFailure(file.Path(), path, saved.Error()) + "\n");
  return FinalSave::kNotSaved;
}

}  // namespace tovalen::ffmpeg
