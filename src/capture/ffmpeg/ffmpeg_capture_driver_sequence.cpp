#include <malloc.h>
#include <sys/stat.h>

#include <exception>
#include <new>

#include "capture/ffmpeg/capture_window_state.h"
#include "capture/ffmpeg/ffmpeg_capture_driver.h"
#include "capture/ffmpeg/stream_copy_container.h"
#include "capture/ffmpeg/stream_copy_recording.h"
#include "capture/ffmpeg/stream_device.h"
#include "platform/posix_file.h"
#include "platform/trace.h"

namespace tovalen::ffmpeg {
namespace {

// How long the caller's thread waits between looks at the capture when nothing wakes it: a
// window system's input is only heard when pumped; a loop that input wakes needs no looks, since
// a capture wakes it for each frame, its stop and its end.
constexpr std::chrono::milliseconds kPumpInterval{50};
constexpr std::chrono::milliseconds kWokenLoopInterval{1000};

bool IsFolder(const std::string& path) {
  struct stat info {};
  return ::stat(path.c_str(), &info) == 0 && S_ISDIR(info.st_mode);
}

void TraceOutcome(const CaptureOutcome& outcome) {
  Trace("D: capture: " + std::to_string(outcome.framesCaptured) + " frames captured, " +
        std::to_string(outcome.FramesDropped()) + " dropped (" + std::to_string(outcome.droppedAtCapture) +
        " waiting for the encoder, " + std::to_string(outcome.droppedAtWrite) + " for the writer), " +
        std::to_string(outcome.skippedForRate) + " skipped for the rate, " + std::to_string(outcome.framesWritten) +
        " written, " + std::to_string(outcome.audioSamples) + " audio samples (" +
        std::to_string(outcome.audioPacketsDropped) + " packets dropped), " + std::to_string(outcome.noticesDropped) +
        " frame notices dropped, " + (outcome.reconnects ? std::to_string(outcome.reconnects) + " reconnects, " : "") +
        std::to_string(outcome.elapsedMs) + " ms; " + Describe(outcome.reason) +
        (outcome.detail.empty() ? "" : " (" + outcome.detail + ")") +
        (outcome.interrupted ? "; recorded on to the end" : "") + "\n");
  if (outcome.Failed() && !outcome.recordingPath.empty())
    Trace("E: capture: what was recorded is kept in " + outcome.recordingPath + "\n");
}

// A network stream's sound is recorded at its own rate and channels; the sound card's format
// the set-up names is for devices on the machine. Without audio in the set-up there is none.
void TakeTheDevicesOwnSound(CaptureJob& job) {
  if (job.audio && job.device && job.device->HasItsOwnSound()) job.audioAsTheDeviceSends = true;
}

// A stream that never came back fails the recording, yet what it recorded before is the
// reservation's recording: it goes to the target (whole and indexed) rather than beside it.
void SaveWhatALostStreamRecorded(const std::string& target, CaptureFile& file, CaptureOutcome& outcome) {
  if (const auto saved = file.SaveAs(target); !saved) {
    outcome.saveError = saved.Error().detail;
    Trace("E: capture driver: " + DescribeSaveFailure(file.Path(), target, saved.Error()) + "\n");
  }
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
  auto created = CaptureFile::CreateBeside(window.captureTarget);
  if (!created) {
    Trace("E: capture driver: " + created.Error().detail + "\n");
    return false;
  }
  window.pendingFile = std::move(*created);
  return true;
}

bool FfmpegCaptureDriver::FileAlloc(CaptureWindowHandle window, std::uint64_t bytes) {
  const auto state = Find(window);
  if (!state || state->running || state->captureTarget.empty() || !PrepareCaptureFile(*state)) return false;
  const auto reserved = state->pendingFile->Preallocate(bytes);
  if (reserved) return true;
  Trace("E: capture driver: " + reserved.Error().detail + "\n");
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
  TakeTheDevicesOwnSound(job);
  return job;
}

// A network stream is copied as it comes when the target names a container for it; everything
// else is encoded into AVI by the capture pipeline.
Result<std::unique_ptr<RunningCapture>> FfmpegCaptureDriver::StartRecording(const WindowState& window, int fd) {
  const std::optional<ContainerFormat> container = CopyContainerFor(window.captureTarget);
  if (!container) {
    auto pipeline = CapturePipeline::Start(MakeJob(window), fd, *m_services.mainLoop);
    if (!pipeline) return pipeline.Error();
    return std::unique_ptr<RunningCapture>(std::make_unique<PipelineCapture>(std::move(*pipeline)));
  }
  const auto* stream = dynamic_cast<const StreamDevice*>(window.device.get());
  if (!stream)
    return DriverError{StopReason::kDeviceOpenFailed, std::string("only a network stream can be copied into ") +
                                                          container->name + "; record this device into .avi"};
  auto session = stream->OpenForCopy(window.settings.input);
  if (!session) return session.Error();
  const StreamCopyJob job{std::move(*session), *container, m_services.spaceProbe, MakeJob(window).timeLimitMs,
                          m_services.timeouts.giveUp};
  auto copy = StreamCopyRecording::Start(job, fd, *m_services.mainLoop);
  if (!copy) return copy.Error();
  return std::unique_ptr<RunningCapture>(std::move(*copy));
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

  auto started = FailOnOutOfMemory(StopReason::kWriteFailed, [&] { return StartRecording(*state, file->Fd()); });
  if (!started) {
    Trace("E: capture: " + Describe(started.Error().reason) + ": " + started.Error().detail + "\n");
    return FailToStart(*state, started.Error());  // the empty file goes with the object
  }
  std::unique_ptr<RunningCapture> pipeline = std::move(*started);
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
  CaptureOutcome outcome = pipeline->Finish();
  const bool lostAtTheEnd = pipeline->LostAtTheEnd();
  state->running = nullptr;
  state->runningFile = nullptr;
  pipeline.reset();
  // The workers' malloc arenas would keep the freed frames for the hours until the next recording.
  ::malloc_trim(0);

  if (outcome.framesWritten > 0) file->MarkRecorded();
  // close can report a write that failed late.
  if (!file->Close() && !outcome.Failed()) {
    outcome.reason = StopReason::kWriteFailed;
    outcome.interrupted = false;
  }
  if (lostAtTheEnd && file->Recorded()) SaveWhatALostStreamRecorded(state->captureTarget, *file, outcome);
  if (file->Recorded()) state->recording = std::move(file);
  const bool succeeded = EndSequence(*state, std::move(outcome));
  if (Find(window) == state) UpdatePreview(*state);  // unless the window went during the capture
  if (escaped) std::rethrow_exception(escaped);
  return succeeded;
}

bool FfmpegCaptureDriver::FailToStart(WindowState& window, const DriverError& error) {
  auto outcome = std::make_shared<CaptureOutcome>();
  outcome->reason = error.reason;
  outcome->detail = error.detail;
  window.lastOutcome = m_lastOutcome = std::move(outcome);
  UpdatePreview(window);
  return false;
}

bool FfmpegCaptureDriver::EndSequence(WindowState& window, CaptureOutcome outcome) {
  if (window.recording) outcome.recordingPath = window.recording->Path();
  TraceOutcome(outcome);
  window.lastOutcome = m_lastOutcome = std::make_shared<CaptureOutcome>(std::move(outcome));
  return !m_lastOutcome->Failed();
}

void FfmpegCaptureDriver::RunUntilFinished(CaptureWindowHandle handle, WindowState& window, RunningCapture& pipeline) {
  const auto interval = m_services.mainLoop->InputWakesIt() ? kWokenLoopInterval : kPumpInterval;
  while (!pipeline.Finished()) {
    m_services.mainLoop->PumpAndWait(interval);
    DeliverFrameNotices(handle, window, pipeline);
    HandleAbortInput(window, pipeline);
  }
  DeliverFrameNotices(handle, window, pipeline);
}

void FfmpegCaptureDriver::DeliverFrameNotices(CaptureWindowHandle handle, WindowState& window,
                                              RunningCapture& pipeline) {
  for (const FrameNotice& notice : pipeline.TakeFrameNotices()) {
    // A copy: the callback may install another one.
    const FrameCallback callback = window.callback;
    if (callback) callback(handle, SVideoHeader{notice.timeCapturedMs, notice.bytes});
  }
}

void FfmpegCaptureDriver::HandleAbortInput(const WindowState& window, RunningCapture& pipeline) {
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
  const auto saved = state->recording->SaveAs(path);
  const std::string why = saved ? "" : saved.Error().detail;
  if (state->lastOutcome) {  // the driver's last one too, unless another window captured since
    if (saved) state->lastOutcome->recordingPath = path;
    state->lastOutcome->saveError = why;
  }
  if (!saved) Trace("E: capture driver: " + DescribeSaveFailure(state->recording->Path(), path, saved.Error()) + "\n");
  return static_cast<bool>(saved);
}

}  // namespace tovalen::ffmpeg
