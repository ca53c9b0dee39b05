#include <sys/stat.h>

#include <cstring>
#include <filesystem>

#include "capture/ffmpeg/capture_window_state.h"
#include "capture/ffmpeg/ffmpeg_capture_driver.h"
#include "platform/trace.h"

namespace tovalen::ffmpeg {
namespace {

// How long the caller's thread waits between looks at the capture when nothing wakes it.
constexpr std::chrono::milliseconds kPumpInterval{50};

bool IsFolder(const std::string& path) {
  struct stat info {};
  return ::stat(path.c_str(), &info) == 0 && S_ISDIR(info.st_mode);
}

std::string FolderOf(const std::string& path) {
  const std::string folder = std::filesystem::path(path).parent_path().string();
  return folder.empty() ? "." : folder;
}

void TraceSummary(const CaptureSummary& summary, const std::string& path) {
  Trace("D: capture: " + std::to_string(summary.framesCaptured) + " frames captured, " +
        std::to_string(summary.framesDropped) + " dropped (" + std::to_string(summary.droppedAtCapture) +
        " waiting for the encoder, " + std::to_string(summary.droppedAtWrite) + " for the writer), " +
        std::to_string(summary.framesWritten) + " written, " + std::to_string(summary.audioSamples) +
        " audio samples, " + std::to_string(summary.elapsedMs) + " ms; " + Describe(summary.reason) +
        (summary.detail.empty() ? "" : " (" + summary.detail + ")") + "\n");
  if (IsFailure(summary.reason) && !path.empty()) Trace("E: capture: what was recorded is kept in " + path + "\n");
}

}  // namespace

bool FfmpegCaptureDriver::FileSetCaptureFile(CaptureWindowHandle window, const std::string& path) {
  const auto state = Find(window);
  if (!state || state->running || path.empty()) return false;
  if (!IsFolder(FolderOf(path))) {
    Trace("E: capture driver: no folder for " + path + "\n");
    return false;
  }
  state->captureTarget = path;
  state->pendingFile.reset();  // made for another target; it holds nothing
  return true;
}

bool FfmpegCaptureDriver::PrepareCaptureFile(Window& window) {
  if (window.pendingFile) return true;
  int error = 0;
  window.pendingFile = CaptureFile::CreateBeside(window.captureTarget, error);
  if (!window.pendingFile)
    Trace("E: capture driver: cannot create a file beside " + window.captureTarget + ": " + std::strerror(error) +
          "\n");
  return window.pendingFile != nullptr;
}

bool FfmpegCaptureDriver::FileAlloc(CaptureWindowHandle window, std::uint64_t bytes) {
  const auto state = Find(window);
  if (!state || state->running || state->captureTarget.empty() || !PrepareCaptureFile(*state)) return false;
  int error = 0;
  if (state->pendingFile->Preallocate(bytes, error)) return true;
  Trace("E: capture driver: cannot reserve " + std::to_string(bytes) + " bytes: " + std::strerror(error) + "\n");
  state->pendingFile.reset();
  return false;
}

void FfmpegCaptureDriver::SetCallbackOnVideoStream(CaptureWindowHandle window, FrameCallback callback) {
  if (const auto state = Find(window)) state->callback = std::move(callback);
}

CaptureJob FfmpegCaptureDriver::MakeJob(const Window& window) const {
  CaptureJob job;
  job.device = window.device;
  job.settings = window.settings;
  job.microSecPerFrame = window.parms.dwRequestMicroSecPerFrame;
  if (window.parms.fCaptureAudio) job.audio = window.waveFormat;
  job.preview = window.Drawing();
  job.spaceProbe = m_services.spaceProbe;
  job.timeouts = m_services.timeouts;
  const SCaptureParms& parms = window.parms;
  if (parms.fLimitEnabled && parms.wTimeLimit > 0) job.timeLimitMs = parms.wTimeLimit * 1000U;
  return job;
}

bool FfmpegCaptureDriver::CaptureSequence(CaptureWindowHandle window) {
  const std::shared_ptr<Window> state = Find(window);  // alive until the end, even if destroyed meanwhile
  if (!state || !state->device || state->running) return false;
  if (state->captureTarget.empty()) {
    Trace("E: capture driver: no capture file set\n");
    return false;
  }
  state->recording.reset();       // a recording of an earlier sequence stays on disk as it is
  state->previewSession.reset();  // the device is needed for the capture
  if (!PrepareCaptureFile(*state)) {
    CaptureSummary failure;
    failure.reason = StopReason::kWriteFailed;
    failure.detail = "no file could be made beside " + state->captureTarget;
    state->lastOutcome = m_lastOutcome = SequenceOutcome{failure, true, {}, {}};
    UpdatePreview(*state);
    return false;
  }
  std::unique_ptr<CaptureFile> file = std::move(state->pendingFile);

  CaptureSummary failure;
  std::unique_ptr<CapturePipeline> pipeline =
      CapturePipeline::Start(MakeJob(*state), file->Fd(), *m_services.mainLoop, failure);
  if (!pipeline) {
    Trace("E: capture: " + Describe(failure.reason) + ": " + failure.detail + "\n");
    state->lastOutcome = m_lastOutcome = SequenceOutcome{failure, true, {}, {}};
    UpdatePreview(*state);
    return false;  // the empty file goes with the object
  }
  state->running = pipeline.get();
  RunUntilFinished(window, *state, *pipeline);
  CaptureSummary summary = pipeline->Finish();
  state->running = nullptr;
  pipeline.reset();

  if (summary.framesWritten > 0) file->MarkRecorded();
  // close can report a write that failed late.
  if (!file->Close() && !IsFailure(summary.reason)) summary.reason = StopReason::kWriteFailed;
  if (file->Recorded()) state->recording = std::move(file);
  const bool succeeded = EndSequence(*state, summary);
  if (Find(window) == state) UpdatePreview(*state);  // unless the window went during the capture
  return succeeded;
}

bool FfmpegCaptureDriver::EndSequence(Window& window, const CaptureSummary& summary) {
  const bool failed = IsFailure(summary.reason);
  const std::string path = window.recording ? window.recording->Path() : std::string();
  window.lastOutcome = m_lastOutcome = SequenceOutcome{summary, failed, path, {}};
  TraceSummary(summary, path);
  return !failed;
}

void FfmpegCaptureDriver::RunUntilFinished(CaptureWindowHandle handle, Window& window, CapturePipeline& pipeline) {
  while (!pipeline.Finished()) {
    m_services.mainLoop->PumpAndWait(kPumpInterval);
    DeliverFrameNotices(handle, window, pipeline);
    HandleAbortInput(window, pipeline);
    pipeline.CheckHealth();
  }
  DeliverFrameNotices(handle, window, pipeline);
}

void FfmpegCaptureDriver::DeliverFrameNotices(CaptureWindowHandle handle, Window& window, CapturePipeline& pipeline) {
  for (const FrameNotice& notice : pipeline.TakeFrameNotices()) {
    // A copy: the callback may install another one.
    const FrameCallback callback = window.callback;
    if (callback) callback(handle, SVideoHeader{notice.timeCapturedMs, notice.bytes});
  }
}

void FfmpegCaptureDriver::HandleAbortInput(const Window& window, CapturePipeline& pipeline) {
  const SCaptureParms& parms = window.parms;
  switch (m_services.mainLoop->TakeAbortInput()) {
    case AbortInput::kNone:
      break;
    case AbortInput::kEscapeKey:
      if (parms.fAbortOnEscape) pipeline.RequestStop(StopReason::kUserAbort);
      break;
    case AbortInput::kLeftMouseButton:
      if (parms.fAbortLeftMouse) pipeline.RequestStop(StopReason::kUserAbort);
      break;
    case AbortInput::kRightMouseButton:
      if (parms.fAbortRightMouse) pipeline.RequestStop(StopReason::kUserAbort);
      break;
    case AbortInput::kTerminationSignal:
      pipeline.RequestStop(StopReason::kTerminationSignal);
      break;
  }
}

bool FfmpegCaptureDriver::CaptureStop(CaptureWindowHandle window) {
  const auto state = Find(window);
  if (!state) return false;
  if (state->running) state->running->RequestStop(StopReason::kStopRequested);
  return true;
}

bool FfmpegCaptureDriver::FileSaveAs(CaptureWindowHandle window, const std::string& path) {
  const auto state = Find(window);
  if (!state || state->running || path.empty()) return false;
  if (!state->recording) {
    Trace("E: capture driver: nothing was recorded to save\n");
    return false;
  }
  int error = 0;
  const bool saved = state->recording->SaveAs(path, error);
  const std::string why = saved ? "" : "cannot save as " + path + ": " + std::strerror(error);
  for (std::optional<SequenceOutcome>* outcome : {&state->lastOutcome, &m_lastOutcome}) {
    if (!*outcome) continue;
    if (saved) (*outcome)->recordingPath = path;
    (*outcome)->saveError = why;
  }
  if (!saved)
    Trace("E: capture driver: cannot save " + state->recording->Path() + " as " + path + ": " + std::strerror(error) +
          "\n");
  return saved;
}

}  // namespace tovalen::ffmpeg
