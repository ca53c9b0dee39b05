#pragma once

#include <filesystem>
#include <optional>
#include <string>
#include <vector>

#include "capture/capture_driver_records.h"
#include "capture/device_offers.h"
#include "capture/device_settings_record.h"

namespace tovalen {

// One capture device as its driver dialogs see it: what it offers and its saved settings.
struct DeviceProfile {
  std::string name;
  std::string version;
  std::vector<VideoFormatOffer> formats;
  std::vector<std::string> inputs;
  std::vector<PictureControl> controls;
  FrameSize defaultSize;    // delivered when the settings name no size
  DeviceSettings settings;  // the saved ones, or the defaults
};

// The driver's devices and the settings its dialogs keep for them, for the command-line
// program, which shows and checks them without a dialog. Called on the user-interface thread.
class DeviceSettingsCatalog {
 public:
  virtual ~DeviceSettingsCatalog() = default;

  // The devices at driver indices 0 up to CaptureDriver::kMaxDrivers - 1, looked for anew.
  virtual std::vector<DeviceProfile> Devices() = 0;
  // The current settings of the device connected to the window.
  virtual std::optional<DeviceSettings> ConnectedSettings(CaptureWindowHandle window) const = 0;
  // The codecs the compression dialog offers.
  virtual std::vector<VideoCodec> EncodableCodecs() const = 0;
  // Where the settings are kept; empty when nowhere.
  virtual std::filesystem::path SettingsFile() const = 0;
};

}  // namespace tovalen
