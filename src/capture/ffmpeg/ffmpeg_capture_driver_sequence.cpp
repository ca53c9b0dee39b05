#include <malloc.h>
#include <sys/stat.h>

#include <cstring>
#include <exception>
#include <new>

#include "capture/ffmpeg/capture_window_state.h"
#include "capture/ffmpeg/ffmpeg_capture_driver.h"
#include "platform/posix_file.h"
#include "platform/trace.h"

namespace tovalen::ffmpeg {
namespace {

// How long the caller's thread waits between looks at the capture when nothing wakes it.
constexpr std::chrono::milliseconds kPumpInterval{50};

bool IsFolder(const std::string& path) {
  struct stat info {};
  return ::stat(path.c_str(), &info) == 0 && S_ISDIR(info.st_mode);
}

void TraceSummary(const CaptureSummary& summary, const std::string& path) {
  Trace("D: capture: " + std::to_string(summary.framesCaptured) + " frames captured, " +
        std::to_string(summary.framesDropped) + " dropped (" + std::to_string(summary.droppedAtCapture) +
        " waiting for the encoder, " + std::to_string(summary.droppedAtWrite) + " for the writer), " +
        std::to_string(summary.framesWritten) + " written, " + std::to_string(summary.audioSamples) +
        " audio samples, " + std::to_string(summary.elapsedMs) + " ms; " + Describe(summary.reason) +
        (summary.detail.empty() ? "" : " (" + summary.detail + ")") +
        (summary.interrupted ? "; recorded on to the end" : "") + "\n");
  if (IsFailure(summary.reason) && !summary.interrupted && !path.empty())
    Trace("E: capture: what was recorded is kept in " + path + "\n");
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

bool FfmpegCaptureDriver::PrepareCaptureFile(WindowState& window) {
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

CaptureJob FfmpegCaptureDriver::MakeJob(const WindowState& window) const {
  CaptureJob job;
  job.device = window.device;
  job.settings = window.settings;
  job.microSecPerFrame = window.parms.dwRequestMicroSecPerFrame;
  if (window.parms.fCaptureAudio) job.audio = window.waveFormat;
  job.preview = window.Drawing();
  job.spaceProbe = m_services.spaceProbe;
  job.timeouts = m_services.timeouts;
  job.latestPicture = m_services.latestPicture;
  const SCaptureParms& parms = window.parms;
  if (parms.fLimitEnabled && parms.wTimeLimit > 0) job.timeLimitMs = std::uint64_t{parms.wTimeLimit} * 1000;
  return job;
}

bool FfmpegCaptureDriver::CaptureSequence(CaptureWindowHandle window) {
  const std::shared_ptr<WindowState> state = Find(window);  // alive until the end, even if destroyed meanwhile
  if (!state || !state->device || state->running) return false;
  if (state->captureTarget.empty()) {
    Trace("E: capture driver: no capture file set\n");
    return false;
  }
  state->recording.reset();       // a recording of an earlier sequence stays on disk as it is
  state->previewSession.reset();  // the device is needed for the capture
  if (!PrepareCaptureFile(*state))
    return FailToStart(*state, {StopReason::kWriteFailed, "no file could be made beside " + state->captureTarget});
  std::unique_ptr<CaptureFile> file = std::move(state->pendingFile);

  auto started = FailOnOutOfMemory(StopReason::kWriteFailed, [&] {
    return CapturePipeline::Start(MakeJob(*state), file->Fd(), *m_services.mainLoop);
  });
  if (!started) {
    Trace("E: capture: " + Describe(started.Error().reason) + ": " + started.Error().detail + "\n");
    return FailToStart(*state, started.Error());  // the empty file goes with the object
  }
  std::unique_ptr<CapturePipeline> pipeline = std::move(*started);
  state->running = pipeline.get();
  state->runningFile = file.get();
  std::exception_ptr escaped;
  try {
    RunUntilFinished(window, *state, *pipeline);
  } catch (const std::bad_alloc&) {
    pipeline->RequestStop(StopReason::kWriteFailed, "out of memory");
  } catch (...) {
    // The frame callback's own: it reaches the caller once the file is finished and kept.
    escaped = std::current_exception();
    pipeline->RequestStop(StopReason::kStopRequested);
  }
  CaptureSummary summary = pipeline->Finish();
  state->running = nullptr;
  state->runningFile = nullptr;
  pipeline.reset();
  // The workers' malloc arenas would keep the freed frames for the hours until the next recording.
  ::malloc_trim(0);

  if (summary.framesWritten > 0) file->MarkRecorded();
  // close can report a write that failed late.
  if (!file->Close() && (!IsFailure(summary.reason) || summary.interrupted)) {
    summary.reason = StopReason::kWriteFailed;
    summary.interrupted = false;
  }
  if (file->Recorded()) state->recording = std::move(file);
  const bool succeeded = EndSequence(*state, summary);
  if (Find(window) == state) UpdatePreview(*state);  // unless the window went during the capture
  if (escaped) std::rethrow_exception(escaped);
  return succeeded;
}

bool FfmpegCaptureDriver::FailToStart(WindowState& window, const DriverError& error) {
  CaptureSummary failure;
  failure.reason = error.reason;
  failure.detail = error.detail;
  window.lastOutcome = m_lastOutcome = SequenceOutcome{failure, true, {}, {}};
  UpdatePreview(window);
  return false;
}

bool FfmpegCaptureDriver::EndSequence(WindowState& window, const CaptureSummary& summary) {
  const bool failed = IsFailure(summary.reason) && !summary.interrupted;
  const std::string path = window.recording ? window.recording->Path() : std::string();
  window.lastOutcome = m_lastOutcome = SequenceOutcome{summary, failed, path, {}};
  TraceSummary(summary, path);
  return !failed;
}

void FfmpegCaptureDriver::RunUntilFinished(CaptureWindowHandle handle, WindowState& window, CapturePipeline& pipeline) {
  while (!pipeline.Finished()) {
    m_services.mainLoop->PumpAndWait(kPumpInterval);
    DeliverFrameNotices(handle, window, pipeline);
    HandleAbortInput(window, pipeline);
  }
  DeliverFrameNotices(handle, window, pipeline);
}

void FfmpegCaptureDriver::DeliverFrameNotices(CaptureWindowHandle handle, WindowState& window,
                                              CapturePipeline& pipeline) {
  for (const FrameNotice& notice : pipeline.TakeFrameNotices()) {
    // A copy: the callback may install another one.
    const FrameCallback callback = window.callback;
    if (callback) callback(handle, SVideoHeader{notice.timeCapturedMs, notice.bytes});
  }
}

void FfmpegCaptureDriver::HandleAbortInput(const WindowState& window, CapturePipeline& pipeline) {
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
