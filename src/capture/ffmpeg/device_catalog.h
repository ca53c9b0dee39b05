#pragma once

#include <memory>
#include <vector>

#include "capture/ffmpeg/capture_device.h"

namespace tovalen::ffmpeg {

// Where the driver finds its devices.
class DeviceCatalog {
 public:
  static constexpr std::size_t kMaxDevices = 10;

  virtual ~DeviceCatalog() = default;
  // The devices at indices 0 up to kMaxDevices - 1, looked for anew.
  virtual std::vector<std::shared_ptr<CaptureDevice>> Enumerate() = 0;
};

// The machine's V4L2 capture nodes in node order, then the test pattern, which always has a
// place: at most nine nodes are listed.
class SystemDeviceCatalog : public DeviceCatalog {
 public:
  explicit SystemDeviceCatalog(std::string deviceFolder = "/dev") : m_folder(std::move(deviceFolder)) {}
  std::vector<std::shared_ptr<CaptureDevice>> Enumerate() override;

 private:
  std::string m_folder;
};

}  // namespace tovalen::ffmpeg
