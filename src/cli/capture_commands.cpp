#include "cli/capture_commands.h"

#include "capture/ffmpeg/video_codecs.h"
#include "cli/cli_capture.h"
#include "cli/command_line.h"
#include "cli/record_command.h"
#include "cli/value_parsers.h"

namespace tovalen::cli {
namespace {

using ffmpeg::CaptureDevice;
using ffmpeg::DeviceSettings;

std::string InputName(const CaptureDevice& device, int input) {
  const auto inputs = device.Inputs();
  return input >= 0 && input < static_cast<int>(inputs.size()) ? " (" + inputs[input] + ")" : "";
}

std::string SettingsLine(const CaptureDevice& device, const DeviceSettings& settings) {
  const std::string size = settings.size.IsSet() ? settings.size.ToString() : device.DefaultSize().ToString();
  return "size " + size + ", pixel format " + (settings.pixelFormat.empty() ? "auto" : settings.pixelFormat) +
         ", input " + std::to_string(settings.input) + InputName(device, settings.input) + ", codec " +
         ffmpeg::CodecName(settings.codec) + ", quality " + std::to_string(settings.quality);
}

void PrintDevice(int index, const CaptureDevice& device, const DeviceSettings& settings, std::ostream& out) {
  SCapDriverInfo info{index, device.Name(), device.Version()};
  out << info.ToString() << "\n    " << SettingsLine(device, settings) << "\n";
}

// What the device's dialogs offer, for `device N` without changes.
void PrintOffers(const CaptureDevice& device, std::ostream& out) {
  out << "    sizes:";
  ffmpeg::VideoFormatModel format(device.VideoFormats(), DeviceSettings{});
  for (const ffmpeg::FrameSize& size : format.OfferedSizes()) out << " " << size.ToString();
  out << "\n    inputs:";
  const auto inputs = device.Inputs();
  for (std::size_t i = 0; i < inputs.size(); ++i) out << (i ? ", " : " ") << i << " " << inputs[i];
  out << "\n    codecs:";
  const ffmpeg::CompressionModel compression{DeviceSettings{}};
  for (ffmpeg::VideoCodec codec : compression.Available()) out << " " << ffmpeg::CodecName(codec);
  out << "\n";
}

int Devices(const std::vector<std::string>& args, std::ostream& out) {
  CommandLine(args, {}).Positional(0, "");
  ffmpeg::FfmpegCaptureDriver& driver = InstalledCapture().driver;
  const auto devices = driver.Devices();
  for (std::size_t i = 0; i < devices.size(); ++i) PrintDevice(static_cast<int>(i), *devices[i], driver.SettingsOf(*devices[i]), out);
  return kExitSuccess;
}

// The dialogs' answers from the options; a value of the wrong form is bad usage.
void SetAnswers(const CommandLine& line, CliDriverDialogs& dialogs) {
  dialogs.Clear();
  if (const auto size = line.Option("size")) {
    dialogs.size = ffmpeg::FrameSize::Parse(*size);
    if (!dialogs.size) throw UsageError("option --size: expected WIDTHxHEIGHT, such as 640x480");
  }
  if (const auto input = line.Option("input")) dialogs.input = ParseIntOption("input", *input, 0, 255);
  if (const auto codec = line.Option("codec")) {
    dialogs.codec = ffmpeg::ParseCodecName(*codec);
    if (!dialogs.codec) throw UsageError("option --codec: expected mjpeg, rawvideo, ffv1, mpeg4 or h264");
  }
  if (const auto quality = line.Option("quality"))
    dialogs.quality = ParseIntOption("quality", *quality, ffmpeg::kMinQuality, ffmpeg::kMaxQuality);
}

// Tries the answers on models of the device first, so that a refused choice leaves every
// setting as it was, not only those of its own dialog.
void CheckAnswers(const CommandLine& line, const CaptureDevice& device, const DeviceSettings& settings,
                  CliDriverDialogs& dialogs) {
  ffmpeg::VideoFormatModel format(device.VideoFormats(), settings);
  ffmpeg::VideoSourceModel source(device.Inputs(), device.Controls(), settings);
  ffmpeg::CompressionModel compression(settings);
  const bool accepted = (!line.Has("size") || dialogs.EditVideoFormat(format)) &&
                        (!line.Has("input") || dialogs.EditVideoSource(source)) &&
                        (!(line.Has("codec") || line.Has("quality")) || dialogs.EditCompression(compression));
  if (!accepted) throw UsageError(dialogs.refusal);
}

// Runs the dialogs the options answer on a window connected to the device.
void ApplyThroughDialogs(const CommandLine& line, int index, CliCapture& capture) {
  ffmpeg::FfmpegCaptureDriver& driver = capture.driver;
  const CaptureWindowHandle window = driver.CreateCaptureWindow({}, {});
  if (!driver.DriverConnect(window, index)) {
    driver.DestroyWindow(window);
    throw OperationError("capture device " + std::to_string(index) + " cannot be opened");
  }
  if (line.Has("size")) driver.DlgVideoFormat(window);
  if (line.Has("input")) driver.DlgVideoSource(window);
  if (line.Has("codec") || line.Has("quality")) driver.DlgVideoCompression(window);
  const auto applied = driver.ConnectedSettings(window);
  driver.DestroyWindow(window);
  const auto devices = driver.Devices();
  if (index >= static_cast<int>(devices.size()) || driver.SettingsOf(*devices[index]) != applied)
    throw OperationError("the settings could not be saved in " + ffmpeg::DriverSettingsStore::DefaultFile().string());
}

int Device(const std::vector<std::string>& args, std::ostream& out) {
  const CommandLine line(args, {"size", "input", "codec", "quality"});
  const int index = ParseIntOption("N", line.Positional(1, "N")[0], 0, ffmpeg::DeviceCatalog::kMaxDevices - 1);
  CliCapture& capture = InstalledCapture();
  SetAnswers(line, capture.dialogs);
  auto devices = capture.driver.Devices();
  if (index >= static_cast<int>(devices.size()))
    throw UsageError("there is no capture device " + std::to_string(index) + " (see tovalen-rec devices)");
  const CaptureDevice& device = *devices[index];
  if (!line.Empty()) {
    CheckAnswers(line, device, capture.driver.SettingsOf(device), capture.dialogs);
    ApplyThroughDialogs(line, index, capture);
  }
  PrintDevice(index, device, capture.driver.SettingsOf(device), out);
  if (line.Empty()) PrintOffers(device, out);
  return kExitSuccess;
}

}  // namespace

std::vector<CliCommand> CaptureCommands() {
  return {
      {"devices", "devices", Devices},
      {"device", "device N [--size WxH] [--input I] [--codec mjpeg|rawvideo|ffv1|mpeg4|h264] [--quality 1-100]",
       Device},
      {"record", "record --file PATH --length L [--device N]", Record},
  };
}

}  // namespace tovalen::cli
