#include "cli/record_command.h"

#include <climits>

#include "capture/active_runner.h"
#include "capture/capture_listener.h"
#include "cli/cli_capture.h"
#include "cli/cli_command.h"
#include "cli/command_line.h"
#include "cli/value_parsers.h"

namespace tovalen::cli {
namespace {

// Stands in for the recording runner: the controller reads the recording time from it. The
// command puts the device on standby itself once the capture has returned, saved or not.
class RecordRunner : public CActiveRunner {
 public:
  explicit RecordRunner(std::int32_t seconds) : m_seconds(seconds) { Activate(); }
  ~RecordRunner() override { Deactivate(); }

  void UpdateFrameCount(std::int32_t) override {}
  std::int32_t GetRecordSeconds() const override { return m_seconds; }
  void OnCaptureFinished() override {}

 private:
  std::int32_t m_seconds;
};

// Prints a line each time the network stream being recorded connects again.
class ReconnectPrinter : public CaptureListener {
 public:
  explicit ReconnectPrinter(std::ostream& out) : m_out(out) {}

  void OnCaptureStarted(const CaptureProgress&) override { m_reconnects = 0; }
  void OnCaptureProgress(const CaptureProgress& progress) override {
    if (progress.reconnects == m_reconnects) return;
    m_reconnects = progress.reconnects;
    m_out << "the stream connected again at " << progress.elapsedMs / 1000 << " s recorded (" << m_reconnects
          << (m_reconnects == 1 ? " reconnect)" : " reconnects)") << std::endl;
  }
  void OnCaptureEnded() override {}

 private:
  std::ostream& m_out;
  std::uint32_t m_reconnects = 0;
};

std::string Failure(const std::string& what, CliCapture& capture) {
  const std::string messages = capture.ui.TakeMessages();
  return what + (messages.empty() ? "" : " (" + messages + ")");
}

std::string DescribeFailedCapture(const std::optional<CaptureOutcome>& outcome) {
  return outcome ? DescribeFailure(*outcome) : "the recording failed";
}

void PrintSummary(const std::string& path, const CaptureOutcome& outcome, std::ostream& out) {
  out << "recorded " << path << ": " << outcome.framesWritten << " frames, " << outcome.FramesDropped() << " dropped, "
      << outcome.audioSamples << " audio samples, " << outcome.elapsedMs / 1000.0 << " s";
  if (outcome.reconnects) out << ", " << outcome.reconnects << (outcome.reconnects == 1 ? " reconnect" : " reconnects");
  out << "\n";
}

}  // namespace

int Record(const std::vector<std::string>& args, std::ostream& out) {
  const CommandLine line(args, {"file", "length", "device"});
  line.Positional(0, "");
  const std::string path = line.RequiredOption("file");
  const std::int64_t length = ParseLengthOption("length", line.RequiredOption("length"));
  if (length > INT32_MAX) throw UsageError("option --length: at most " + std::to_string(INT32_MAX) + " seconds");
  const int device = line.Has("device") ? ParseIntOption("device", *line.Option("device"), 0, 9) : 0;

  const TargetCheckAnswer answer = InstalledTargetCheck().Check(device, path);
  if (!answer.Accepted()) throw UsageError(answer.refusal);
  if (!answer.warning.empty()) Warn(answer.warning);

  CliCapture& capture = InstalledCapture();
  CVideoCap& cap = capture.controller;
  SCaptureSettings settings;  // the schedule's defaults
  settings.iCapDriverId = device;
  cap.SetCaptureSettings(settings);
  ScopedTerminationSignals signals(capture.plainLoop);
  RecordRunner runner(static_cast<std::int32_t>(length));

  if (!cap.WakeUp(ParentWindowHandle{})) {
    cap.Standby();
    throw OperationError(Failure("capture device " + std::to_string(device) + " cannot be used", capture));
  }
  if (!cap.SetCaptureFileName(path)) {
    cap.Standby();
    throw OperationError(Failure("cannot record into " + path, capture));
  }
  out << "recording " << path << " for " << length << " s from capture device " << device << "; Ctrl+C ends it early\n"
      << std::flush;
  ReconnectPrinter printer(out);
  CaptureListener* const previous = cap.SetCaptureListener(&printer);
  const bool recorded = cap.Capture();
  cap.SetCaptureListener(previous);
  const auto outcome = cap.LastCaptureOutcome();
  cap.Standby();
  if (!recorded) throw OperationError(Failure(DescribeFailedCapture(outcome), capture));
  if (outcome) PrintSummary(path, *outcome, out);
  return kExitSuccess;
}

}  // namespace tovalen::cli
