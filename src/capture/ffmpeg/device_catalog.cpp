#include "capture/ffmpeg/device_catalog.h"

#include "capture/ffmpeg/test_pattern_device.h"
#include "capture/ffmpeg/v4l2_device.h"

namespace tovalen::ffmpeg {

std::vector<std::shared_ptr<CaptureDevice>> SystemDeviceCatalog::Enumerate() {
  std::vector<std::shared_ptr<CaptureDevice>> devices;
  for (const std::string& path : ListVideoNodes(m_folder)) {
    if (devices.size() + 1 >= kMaxDevices) break;
    const auto node = V4l2Node::Open(path);
    const auto identity = node ? node->Identity() : std::nullopt;
    // Metadata and output nodes of the same camera are skipped.
    if (identity && identity->canCapture) devices.push_back(std::make_shared<V4l2Device>(path, *identity));
  }
  devices.push_back(std::make_shared<TestPatternDevice>());
  return devices;
}

}  // namespace tovalen::ffmpeg
