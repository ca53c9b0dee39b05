#include "capture/ffmpeg/v4l2_node.h"

#include <fcntl.h>
#include <linux/videodev2.h>
#include <sys/ioctl.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <cstring>
#include <filesystem>
#include <utility>

namespace tovalen::ffmpeg {
namespace {

int Ioctl(const FileDescriptor& fd, unsigned long request, void* argument) {
  return RetryOnInterrupt([&] { return ::ioctl(fd.get(), request, argument); });
}

// The fixed-size, possibly unterminated text fields of V4L2 records.
template <std::size_t N>
std::string Text(const __u8 (&field)[N]) {
  const auto* begin = reinterpret_cast<const char*>(field);
  return std::string(begin, strnlen(begin, N));
}

// libavdevice's names for the V4L2 formats it can read; others are not offered.
struct FormatName {
  __u32 fourcc;
  const char* name;
};
constexpr std::array kFormatNames{
    FormatName{V4L2_PIX_FMT_YUYV, "yuyv422"},   FormatName{V4L2_PIX_FMT_UYVY, "uyvy422"},
    FormatName{V4L2_PIX_FMT_YUV420, "yuv420p"}, FormatName{V4L2_PIX_FMT_NV12, "nv12"},
    FormatName{V4L2_PIX_FMT_RGB24, "rgb24"},    FormatName{V4L2_PIX_FMT_BGR24, "bgr24"},
    FormatName{V4L2_PIX_FMT_GREY, "gray"},      FormatName{V4L2_PIX_FMT_MJPEG, "mjpeg"},
    FormatName{V4L2_PIX_FMT_JPEG, "mjpeg"},     FormatName{V4L2_PIX_FMT_H264, "h264"},
};

const char* NameOf(__u32 fourcc) {
  for (const FormatName& entry : kFormatNames)
    if (entry.fourcc == fourcc) return entry.name;
  return nullptr;
}

// Sizes offered from a stepwise or continuous range: the common ones that fit it.
std::vector<FrameSize> CommonSizesWithin(const v4l2_frmsize_stepwise& range) {
  static constexpr FrameSize kCommon[] = {{160, 120},  {320, 240},  {640, 480},   {800, 600},
                                          {1024, 768}, {1280, 720}, {1280, 1024}, {1920, 1080}};
  std::vector<FrameSize> sizes;
  for (const FrameSize& size : kCommon) {
    const auto w = static_cast<__u32>(size.width);
    const auto h = static_cast<__u32>(size.height);
    const bool inRange = w >= range.min_width && w <= range.max_width && h >= range.min_height && h <= range.max_height;
    const bool onStep = (range.step_width == 0 || (w - range.min_width) % range.step_width == 0) &&
                        (range.step_height == 0 || (h - range.min_height) % range.step_height == 0);
    if (inRange && onStep) sizes.push_back(size);
  }
  return sizes;
}

struct ControlId {
  __u32 id;
  const char* name;
};
constexpr std::array kControls{
    ControlId{V4L2_CID_BRIGHTNESS, "brightness"},
    ControlId{V4L2_CID_CONTRAST, "contrast"},
    ControlId{V4L2_CID_SATURATION, "saturation"},
    ControlId{V4L2_CID_HUE, "hue"},
    ControlId{V4L2_CID_GAIN, "gain"},
    ControlId{V4L2_CID_SHARPNESS, "sharpness"},
};

std::optional<int> NodeNumber(const std::string& name) {
  if (name.rfind("video", 0) != 0 || name.size() == 5) return std::nullopt;
  if (!std::all_of(name.begin() + 5, name.end(), [](char c) { return c >= '0' && c <= '9'; })) return std::nullopt;
  if (name.size() > 9) return std::nullopt;
  return std::stoi(name.substr(5));
}

}  // namespace

std::optional<V4l2Node> V4l2Node::Open(const std::string& path) {
  FileDescriptor fd(::open(path.c_str(), O_RDWR | O_NONBLOCK | O_CLOEXEC));
  if (fd.get() < 0) return std::nullopt;
  return V4l2Node(std::move(fd));
}

std::optional<V4l2Identity> V4l2Node::Identity() const {
  v4l2_capability capability{};
  if (Ioctl(m_fd, VIDIOC_QUERYCAP, &capability) != 0) return std::nullopt;
  const __u32 caps =
      (capability.capabilities & V4L2_CAP_DEVICE_CAPS) ? capability.device_caps : capability.capabilities;
  V4l2Identity identity;
  identity.card = Text(capability.card);
  identity.driver = Text(capability.driver);
  identity.busInfo = Text(capability.bus_info);
  identity.version = identity.driver + " " + std::to_string((capability.version >> 16) & 0xff) + "." +
                     std::to_string((capability.version >> 8) & 0xff) + "." + std::to_string(capability.version & 0xff);
  // libavdevice reads through streaming I/O only.
  identity.canCapture = (caps & V4L2_CAP_VIDEO_CAPTURE) && (caps & V4L2_CAP_STREAMING);
  identity.hasOverlay = (caps & V4L2_CAP_VIDEO_OVERLAY) != 0;
  return identity;
}

std::vector<FrameSize> V4l2Node::SizesFor(unsigned pixelFormat) const {
  std::vector<FrameSize> sizes;
  v4l2_frmsizeenum size{};
  size.pixel_format = pixelFormat;
  for (size.index = 0; Ioctl(m_fd, VIDIOC_ENUM_FRAMESIZES, &size) == 0; ++size.index) {
    if (size.type != V4L2_FRMSIZE_TYPE_DISCRETE) return CommonSizesWithin(size.stepwise);
    sizes.push_back({static_cast<int>(size.discrete.width), static_cast<int>(size.discrete.height)});
  }
  return sizes;
}

std::vector<VideoFormatOffer> V4l2Node::Formats() const {
  std::vector<VideoFormatOffer> offers;
  v4l2_fmtdesc format{};
  format.type = V4L2_BUF_TYPE_VIDEO_CAPTURE;
  for (format.index = 0; Ioctl(m_fd, VIDIOC_ENUM_FMT, &format) == 0; ++format.index) {
    const char* name = NameOf(format.pixelformat);
    const bool listed =
        std::any_of(offers.begin(), offers.end(), [&](const auto& o) { return name && o.pixelFormat == name; });
    if (!name || listed) continue;
    offers.push_back({name, SizesFor(format.pixelformat)});
  }
  return offers;
}

std::optional<FrameSize> V4l2Node::CurrentSize() const {
  v4l2_format format{};
  format.type = V4L2_BUF_TYPE_VIDEO_CAPTURE;
  if (Ioctl(m_fd, VIDIOC_G_FMT, &format) != 0) return std::nullopt;
  return FrameSize{static_cast<int>(format.fmt.pix.width), static_cast<int>(format.fmt.pix.height)};
}

std::vector<std::string> V4l2Node::Inputs() const {
  std::vector<std::string> inputs;
  v4l2_input input{};
  for (input.index = 0; Ioctl(m_fd, VIDIOC_ENUMINPUT, &input) == 0; ++input.index) inputs.push_back(Text(input.name));
  return inputs;
}

std::vector<PictureControl> V4l2Node::Controls() const {
  std::vector<PictureControl> controls;
  for (const ControlId& known : kControls) {
    v4l2_queryctrl query{};
    query.id = known.id;
    if (Ioctl(m_fd, VIDIOC_QUERYCTRL, &query) != 0) continue;
    if ((query.flags & V4L2_CTRL_FLAG_DISABLED) || query.type != V4L2_CTRL_TYPE_INTEGER) continue;
    controls.push_back({known.name, query.minimum, query.maximum, std::max(query.step, 1), query.default_value});
  }
  return controls;
}

bool V4l2Node::SetControl(const std::string& name, int value) const {
  const auto known =
      std::find_if(kControls.begin(), kControls.end(), [&](const ControlId& c) { return name == c.name; });
  if (known == kControls.end()) return false;
  v4l2_control control{};
  control.id = known->id;
  control.value = value;
  return Ioctl(m_fd, VIDIOC_S_CTRL, &control) == 0;
}

std::vector<std::string> ListVideoNodes(const std::string& folder) {
  std::vector<std::pair<int, std::string>> nodes;
  std::error_code error;
  for (const auto& entry : std::filesystem::directory_iterator(folder, error)) {
    if (const auto number = NodeNumber(entry.path().filename().string()))
      nodes.emplace_back(*number, entry.path().string());
  }
  std::sort(nodes.begin(), nodes.end());
  std::vector<std::string> paths;
  for (auto& node : nodes) paths.push_back(std::move(node.second));
  return paths;
}

}  // namespace tovalen::ffmpeg
