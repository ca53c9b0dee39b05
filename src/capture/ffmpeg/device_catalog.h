#pragma once

#include <filesystem>
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
// place (at most nine nodes are listed), then the user's streams in their order, as many as
// there is room for. A stream added later takes the next index, so no listed device moves.
class SystemDeviceCatalog : public DeviceCatalog {
 public:
  // An empty streams file means StreamSources' default one.
  explicit SystemDeviceCatalog(std::string deviceFolder = "/dev", std::filesystem::path streamsFile = {})
      : m_folder(std::move(deviceFolder)), m_streamsFile(std::move(streamsFile)) {}
  std::vector<std::shared_ptr<CaptureDevice>> Enumerate() override;
  // The V4L2 nodes and the test pattern: the devices listed before the streams.
  std::vector<std::shared_ptr<CaptureDevice>> DevicesBeforeStreams() const;

 private:
  std::string m_folder;
  std::filesystem::path m_streamsFile;
};

}  // namespace tovalen::ffmpeg
