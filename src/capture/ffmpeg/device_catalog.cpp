#include "capture/ffmpeg/device_catalog.h"

#include "capture/ffmpeg/stream_device.h"
#include "capture/ffmpeg/test_pattern_device.h"
#include "capture/ffmpeg/v4l2_device.h"
#include "capture/stream_sources.h"
#include "platform/atomic_file.h"
#include "platform/trace.h"

namespace tovalen::ffmpeg {
namespace {

// A streams file that cannot be read lists no stream; the devices before them stay as they are.
std::vector<StreamSource> LoadStreams(const std::filesystem::path& file) {
  try {
    return StreamSources(file).Load();
  } catch (const FileError& error) {
    Trace(std::string("E: capture driver: ") + error.what() + "\n");
    return {};
  }
}

}  // namespace

std::vector<std::shared_ptr<CaptureDevice>> SystemDeviceCatalog::DevicesBeforeStreams() const {
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

std::vector<std::shared_ptr<CaptureDevice>> SystemDeviceCatalog::Enumerate() {
  std::vector<std::shared_ptr<CaptureDevice>> devices = DevicesBeforeStreams();
  for (StreamSource& stream : LoadStreams(m_streamsFile)) {
    if (devices.size() >= kMaxDevices) {
      Trace("E: capture driver: no device index left for the stream " + stream.name + "\n");
      continue;
    }
    devices.push_back(std::make_shared<StreamDevice>(std::move(stream.name), std::move(stream.url)));
  }
  return devices;
}

}  // namespace tovalen::ffmpeg
