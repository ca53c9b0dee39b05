#include "cli/run_command.h"

#include <algorithm>

#include "cli/cli_capture.h"
#include "cli/cli_command.h"
#include "cli/command_line.h"
#include "cli/followed_schedule_file.h"
#include "cli/schedule_run.h"
#include "platform/atomic_file.h"
#include "schedule/schedule_file.h"

namespace tovalen::cli {
namespace {

ScheduleFileContents Load(FollowedScheduleFile& file) {
  try {
    return file.Read();
  } catch (const FileError& error) {
    throw UsageError(error.what());
  } catch (const ScheduleFileError& error) {
    throw UsageError(error.what());
  }
}

std::string Reservations(int count) { return std::to_string(count) + (count == 1 ? " reservation" : " reservations"); }

// --late takes no value, unlike the options CommandLine reads, so it is taken out first.
LateStart TakeLateFlag(std::vector<std::string>& args) {
  const auto flag = std::find(args.begin(), args.end(), "--late");
  if (flag == args.end()) return LateStart::kDrop;
  args.erase(flag);
  return LateStart::kRecordRemainder;
}

}  // namespace

void ConnectForTheWholeRun(CVideoCap& cap) {
  cap.DestroyCaptureWindow();  // a connection left by an earlier command may be to another device
  if (cap.CreateCaptureWindow(ParentWindowHandle{}) && cap.Connect() && cap.SetAudioFormat() && cap.SetVideoOption()) {
    return;
  }
  cap.DestroyCaptureWindow();
}

CaptureReadings ReadingsOf(CliCapture& capture) {
  return CaptureReadings{
      [&capture]() -> std::optional<std::uint32_t> {
        const auto status = capture.driver.GetStatus(capture.controller.GetCaptureWindow());
        if (!status) return std::nullopt;
        return status->dwCurrentVideoFramesDropped;
      },
      [&capture] { return capture.ui.TakeMessages(); },
      [&capture]() -> std::uint32_t {
        const auto status = capture.driver.GetStatus(capture.controller.GetCaptureWindow());
        return status ? status->dwReconnects : 0;
      },
  };
}

int Run(const std::vector<std::string>& arguments, std::ostream& out) {
  std::vector<std::string> args = arguments;
  const LateStart late = TakeLateFlag(args);
  const std::string path = CommandLine(args, {}).Positional(1, "FILE")[0];
  FollowedScheduleFile file(path, out);
  ScheduleFileContents contents = Load(file);

  CliCapture& capture = InstalledCapture();
  CVideoCap& cap = capture.controller;
  cap.SetCaptureSettings(contents.settings);
  if (contents.settings.videoOption.PersistentConnect) ConnectForTheWholeRun(cap);
  // The view's start command asks the same before it opens the runner.
  if (!cap.IsReadyToRecord()) throw UsageError("キャプチャデバイスを選択してください");

  CYoyakuSchedule schedule;
  schedule.ReplaceAll(std::move(contents.reservations));
  ScopedTerminationSignals signals(capture.plainLoop);
  const ScheduleRunResult result = RunSchedule(
      std::move(schedule), capture.loop, ReadingsOf(capture), out, late, [&file] { return file.TakeChange(); }, path);

  if (result.failed > 0) {
    throw OperationError(std::to_string(result.failed) + " of " + Reservations(result.recorded + result.failed) +
                         " failed to record" +
                         (result.notStarted > 0 ? "; stopped before " + Reservations(result.notStarted) : ""));
  }
  // Being stopped is how a service ends: not a failure, but what it did not reach is said.
  if (result.notStarted > 0) out << "stopped before " << Reservations(result.notStarted) << std::endl;
  return kExitSuccess;
}

}  // namespace tovalen::cli
