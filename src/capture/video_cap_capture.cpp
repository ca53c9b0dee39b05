#include <utility>

#include "capture/active_runner.h"
#include "capture/spin_up_hdd.h"
#include "capture/trace_time_stamp.h"
#include "capture/video_cap.h"
#include "platform/clock.h"
#include "platform/trace.h"
#include "platform/user_folders.h"

namespace tovalen {
namespace {

// A fixed reservation whatever the recording time; the driver grows the file as it records.
constexpr std::uint64_t kPreallocateBytes = 5'242'880;

// Runs its action when it goes, also when an exception passes.
template <typename Action>
class AtScopeExit {
 public:
  explicit AtScopeExit(Action action) : m_action(std::move(action)) {}
  ~AtScopeExit() { m_action(); }
  AtScopeExit(const AtScopeExit&) = delete;
  AtScopeExit& operator=(const AtScopeExit&) = delete;

 private:
  Action m_action;
};

}  // namespace

bool CVideoCap::QueryCaptureFileName(std::string& path) {
  SaveFileRequest request;
  request.owner = m_hWndC;
  request.filters = {{"AVI files (*.AVI)", "*.avi"}, {"All files (*.*)", "*.*"}};
  request.initialName = DefaultRecordingPath();
  request.defaultExtension = "avi";
  request.promptOverwrite = true;
  request.resizable = true;
  const auto chosen = m_ui->AskSaveFileName(request);
  if (!chosen || chosen->empty()) return false;
  path = *chosen;
  return true;
}

bool CVideoCap::SetCaptureFileName(const std::string& path) {
  if (!m_bConnected) {
    Trace("E: CVideoCap::SetCaptureFileName() !m_bConnected\n");
    return false;
  }
  if (!path.empty()) m_strCaptureFileName = path;
  Trace("D: SetCaptureFileName() file name = ");
  Trace(m_strCaptureFileName);
  Trace("\n");

  if (!SpinUpHDD(m_strCaptureFileName)) {
    Trace("E: CVideoCap::SetCaptureFileName() SpinUpHDD() failed\n");
    ShowMessage("ファイルの書き込み 失敗!");
    return false;
  }
  // Without a new path the stored one is the capture file, the same one the warm-up checked.
  if (!WindowAlive() || !m_driver->FileSetCaptureFile(m_hWndC, m_strCaptureFileName)) {
    Trace("E: SetCaptureFileName() capFileSetCaptureFile() failed\n");
    return false;
  }
  return true;
}

bool CVideoCap::PreallocateCaptureFile() {
  Trace("D: entering CVideoCap::PreallocateCaptureFile() " + CaptureTraceTimeStamp() + "\n");
  if (WindowAlive() && m_driver->FileAlloc(m_hWndC, kPreallocateBytes)) {
    Trace("D: CVideoCap::PreallocateCaptureFileName() success\n");
    return true;
  }
  Trace("D: CVideoCap::PreallocateCaptureFileName() failed\n");
  return false;
}

bool CVideoCap::Capture() {
  if (!m_bConnected) {
    Trace("E: CVideoCap::Capture() !m_bConnected\n");
    return false;
  }
  m_lastOutcome.reset();
  if (!PreallocateCaptureFile()) return false;
  if (WindowAlive()) m_driver->SetCallbackOnVideoStream(m_hWndC, &CVideoCap::VideoStreamCallback);
  ResetCaptureClock();
  Trace("D: CVideoCap::Capture() capCaptureSequence() starting " + CaptureTraceTimeStamp() + "\n");

  m_bCapturing = true;
  // However the sequence ends, by a return or an exception, nothing runs any more and the
  // listener hears of the end of what it saw start.
  const AtScopeExit ended([this] {
    m_bCapturing = false;
    if (m_listener) m_listener->OnCaptureEnded();
  });
  if (m_listener) m_listener->OnCaptureStarted(Progress());
  return CaptureAndSave();
}

bool CVideoCap::CaptureAndSave() {
  if (!WindowAlive() || !RunCaptureSequence()) {
    Trace("E: CVideoCap::Capture() capCaptureSequence() failed\n");
    TraceCaptureFailure();
    return false;
  }
  Trace("D: CVideoCap::Capture() capCaptureSequence() end " + CaptureTraceTimeStamp() + "\n");
  Trace("D: CVideoCap::Capture() capFileSaveAs()\n");
  if (!SaveCapture()) {
    Trace("E: CVideoCap::Capture() capFileSaveAs() failed\n");
    TraceCaptureFailure();
    return false;
  }
  // The runner notes that the device is to go on standby, which it does once Capture has returned.
  if (CActiveRunner* runner = CActiveRunner::GetActive()) runner->OnCaptureFinished();
  Trace("D: CVideoCap::Capture() success\n");
  return true;
}

bool CVideoCap::RunCaptureSequence() {
  const std::optional<SCaptureParms> unbounded = BoundCaptureByRecordTime();
  const AtScopeExit restore([&] {
    if (unbounded && WindowAlive()) m_driver->CaptureSetSetup(m_hWndC, *unbounded);
  });
  const bool recorded = m_driver->CaptureSequence(m_hWndC);
  m_lastOutcome = m_driver->LastOutcome();
  return recorded;
}

bool CVideoCap::SaveCapture() {
  const bool saved = WindowAlive() && m_driver->FileSaveAs(m_hWndC, m_strCaptureFileName);
  m_lastOutcome = m_driver->LastOutcome();  // now with the save's result
  // A save the driver never tried still makes the capture a failure.
  if (!saved && m_lastOutcome && m_lastOutcome->saveError.empty())
    m_lastOutcome->saveError = "cannot save as " + m_strCaptureFileName;
  return saved;
}

void CVideoCap::TraceCaptureFailure() const {
  if (m_lastOutcome) Trace("E: CVideoCap::Capture() " + DescribeFailure(*m_lastOutcome) + "\n");
}

bool CVideoCap::StopCapture() {
  if (!m_bConnected) {
    Trace("E: StopCapture() !m_bConnected\n");
    return false;
  }
  if (WindowAlive() && m_driver->CaptureStop(m_hWndC)) {
    m_bCapturing = false;
    return true;
  }
  Trace("E: CVideoCap::StopCapture() capCaptureStop() failed\n");
  return false;
}

bool CVideoCap::ResetCaptureClock() {
  m_lFirstFrameTime = -1;
  m_lElapsed = 0;
  m_framesCaptured = 0;
  m_reconnects = 0;
  return true;
}

CaptureProgress CVideoCap::Progress() const {
  return {m_strCaptureFileName, m_lElapsed, m_framesCaptured, m_reconnects};
}

void CVideoCap::ReadReconnects() {
  const auto status = WindowAlive() ? m_driver->GetStatus(m_hWndC) : std::nullopt;
  if (!status || status->dwReconnects == m_reconnects) return;
  m_reconnects = status->dwReconnects;
  Trace("D: capture: the network stream connected again, " + std::to_string(m_reconnects) + " time(s) so far " +
        CaptureTraceTimeStamp() + "\n");
}

bool CVideoCap::OnCaptureFrame(std::int32_t timeCapturedMs) {
  // The clock starts at the first frame, not at the start of the sequence.
  if (m_lFirstFrameTime < 0) m_lFirstFrameTime = timeCapturedMs;
  m_lElapsed = SubtractWrapping32(timeCapturedMs, m_lFirstFrameTime);
  ++m_framesCaptured;
  ReadReconnects();
  if (m_listener) m_listener->OnCaptureProgress(Progress());

  // Without a runner (the test capture) the user ends the capture.
  CActiveRunner* runner = CActiveRunner::GetActive();
  if (!runner) return true;
  runner->UpdateFrameCount(m_lElapsed);
  const std::int32_t recordSeconds = runner->GetRecordSeconds();
  // Strict: a recording of D seconds stops at the first frame (D + 1) x 1000 ms in, unless the
  // listener ends it at the reservation's end. Frames that arrive before the sequence has ended
  // ask again.
  if (recordSeconds < m_lElapsed / 1000 || (m_listener && m_listener->HasReachedItsEnd())) {
    Trace("D: capture STOP\n");
    StopCapture();
  }
  return true;
}

bool CVideoCap::VideoStreamCallback(CaptureWindowHandle /*window*/, const SVideoHeader& header) {
  GetInstance().OnCaptureFrame(static_cast<std::int32_t>(header.dwTimeCaptured));
  return true;
}

}  // namespace tovalen
