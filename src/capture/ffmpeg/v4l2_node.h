#pragma once

#include <optional>
#include <string>
#include <vector>

#include "capture/ffmpeg/capture_device.h"
#include "platform/posix_file.h"

namespace tovalen::ffmpeg {

// What VIDIOC_QUERYCAP tells about a video node.
struct V4l2Identity {
  std::string card;         // the device's name
  std::string driver;       // kernel driver name
  std::string busInfo;      // where it is plugged in
  std::string version;      // "driver major.minor.patch"
  bool canCapture = false;  // video capture with streaming I/O
  bool hasOverlay = false;
};

// A V4L2 node opened for queries (not for streaming, which libavdevice does); closed with
// the object. Every query answers what the device reports, or nothing/empty when it cannot.
class V4l2Node {
 public:
  // The open node, or nothing when it cannot be opened.
  static std::optional<V4l2Node> Open(const std::string& path);
  V4l2Node(V4l2Node&&) noexcept = default;
  V4l2Node& operator=(V4l2Node&&) = delete;

  std::optional<V4l2Identity> Identity() const;
  std::vector<VideoFormatOffer> Formats() const;
  std::optional<FrameSize> CurrentSize() const;
  std::vector<std::string> Inputs() const;
  std::vector<PictureControl> Controls() const;
  bool SetControl(const std::string& name, int value) const;

 private:
  explicit V4l2Node(FileDescriptor fd) : m_fd(std::move(fd)) {}
  std::vector<FrameSize> SizesFor(unsigned pixelFormat) const;

  FileDescriptor m_fd;
};

// The /dev/videoN paths, in node-number order.
std::vector<std::string> ListVideoNodes(const std::string& folder = "/dev");

}  // namespace tovalen::ffmpeg
