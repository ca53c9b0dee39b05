#include "cli/capture_commands.h"

#include "capture/driver_dialog_models.h"
#include "capture/video_codec_names.h"
#include "cli/cli_capture.h"
#include "cli/command_line.h"
#include "cli/record_command.h"
#include "cli/value_parsers.h"

namespace tovalen::cli {
namespace {

std::string InputName(const DeviceProfile& device, int input) {
  const auto& inputs = device.inputs;
  return input >= 0 && input < static_cast<int>(inputs.size()) ? " (" + inputs[input] + ")" : "";
}

std::string SettingsLine(const DeviceProfile& device) {
  const DeviceSettings& settings = device.settings;
  const std::string size = settings.size.IsSet() ? settings.size.ToString() : device.defaultSize.ToString();
  return "size " + size + ", pixel format " + (settings.pixelFormat.empty() ? "auto" : settings.pixelFormat) +
         ", input " + std::to_string(settings.input) + InputName(device, settings.input) + ", codec " +
         CodecName(settings.codec) + ", quality " + std::to_string(settings.quality);
}

void PrintDevice(int index, const DeviceProfile& device, std::ostream& out) {
  SCapDriverInfo info{index, device.name, device.version};
  out << info.ToString() << "\n    " << SettingsLine(device) << "\n";
}

// What the device's dialogs offer, for `device N` without changes.
void PrintOffers(const DeviceProfile& device, const DeviceSettingsCatalog& catalog, std::ostream& out) {
  out << "    sizes:";
  VideoFormatModel format(device.formats, DeviceSettings{});
  for (const FrameSize& size : format.OfferedSizes()) out << " " << size.ToString();
  out << "\n    inputs:";
  const auto& inputs = device.inputs;
  for (std::size_t i = 0; i < inputs.size(); ++i) out << (i ? ", " : " ") << i << " " << inputs[i];
  out << "\n    codecs:";
  const CompressionModel compression(DeviceSettings{}, catalog.EncodableCodecs());
  for (VideoCodec codec : compression.Available()) out << " " << CodecName(codec);
  out << "\n";
}

int Devices(const std::vector<std::string>& args, std::ostream& out) {
  CommandLine(args, {}).Positional(0, "");
  const auto devices = InstalledCapture().devices.Devices();
  for (std::size_t i = 0; i < devices.size(); ++i) PrintDevice(static_cast<int>(i), devices[i], out);
  return kExitSuccess;
}

// The dialogs' answers from the options; a value of the wrong form is bad usage.
void SetAnswers(const CommandLine& line, CliDriverDialogs& dialogs) {
  dialogs.Clear();
  if (const auto size = line.Option("size")) {
    dialogs.size = FrameSize::Parse(*size);
    if (!dialogs.size) throw UsageError("option --size: expected WIDTHxHEIGHT, such as 640x480");
  }
  if (const auto input = line.Option("input")) dialogs.input = ParseIntOption("input", *input, 0, 255);
  if (const auto codec = line.Option("codec")) {
    dialogs.codec = ParseCodecName(*codec);
    if (!dialogs.codec) throw UsageError("option --codec: expected mjpeg, rawvideo, ffv1, mpeg4 or h264");
  }
  if (const auto quality = line.Option("quality"))
    dialogs.quality = ParseIntOption("quality", *quality, kMinQuality, kMaxQuality);
}

// Tries the answers on models of the device first, so that a refused choice leaves every
// setting as it was, not only those of its own dialog.
void CheckAnswers(const CommandLine& line, const DeviceProfile& device, const DeviceSettingsCatalog& catalog,
                  CliDriverDialogs& dialogs) {
  VideoFormatModel format(device.formats, device.settings);
  VideoSourceModel source(device.inputs, device.controls, device.settings);
  CompressionModel compression(device.settings, catalog.EncodableCodecs());
  const bool accepted = (!line.Has("size") || dialogs.EditVideoFormat(format)) &&
                        (!line.Has("input") || dialogs.EditVideoSource(source)) &&
                        (!(line.Has("codec") || line.Has("quality")) || dialogs.EditCompression(compression));
  if (!accepted) throw UsageError(dialogs.refusal);
}

// Runs the dialogs the options answer on a window connected to the device; the device as it
// is afterwards.
DeviceProfile ApplyThroughDialogs(const CommandLine& line, int index, CliCapture& capture) {
  CaptureDriver& driver = capture.driver;
  const CaptureWindowHandle window = driver.CreateCaptureWindow({}, {});
  if (!driver.DriverConnect(window, index)) {
    driver.DestroyWindow(window);
    throw OperationError("capture device " + std::to_string(index) + " cannot be opened");
  }
  if (line.Has("size")) driver.DlgVideoFormat(window);
  if (line.Has("input")) driver.DlgVideoSource(window);
  if (line.Has("codec") || line.Has("quality")) driver.DlgVideoCompression(window);
  const auto applied = capture.devices.ConnectedSettings(window);
  driver.DestroyWindow(window);
  const auto devices = capture.devices.Devices();
  if (index >= static_cast<int>(devices.size()) || devices[index].settings != applied)
    throw OperationError("the settings could not be saved in " + capture.devices.SettingsFile().string());
  return devices[index];
}

int Device(const std::vector<std::string>& args, std::ostream& out) {
  const CommandLine line(args, {"size", "input", "codec", "quality"});
  const int index = ParseIntOption("N", line.Positional(1, "N")[0], 0, CaptureDriver::kMaxDrivers - 1);
  CliCapture& capture = InstalledCapture();
  SetAnswers(line, capture.dialogs);
  const auto devices = capture.devices.Devices();
  if (index >= static_cast<int>(devices.size()))
    throw UsageError("there is no capture device " + std::to_string(index) + " (see tovalen-rec devices)");
  DeviceProfile device = devices[index];
  if (!line.Empty()) {
    CheckAnswers(line, device, capture.devices, capture.dialogs);
    device = ApplyThroughDialogs(line, index, capture);
  }
  PrintDevice(index, device, out);
  if (line.Empty()) PrintOffers(device, capture.devices, out);
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
