#pragma once

#include <map>
#include <optional>
#include <string>

namespace tovalen {

struct FrameSize {
  int width = 0;
  int height = 0;

  bool IsSet() const { return width > 0 && height > 0; }
  // "640x480"
  std::string ToString() const;
  // "WxH" with both between 16 and 8192; nothing otherwise.
  static std::optional<FrameSize> Parse(const std::string& text);

  bool operator==(const FrameSize&) const = default;
};

enum class VideoCodec { kMjpeg, kRawVideo, kFfv1, kMpeg4, kH264 };

// How preview frames are fitted into the capture window.
struct DisplayOptions {
  bool scaleToWindow = true;  // otherwise drawn at the image size
  bool keepAspect = true;     // when scaled

  bool operator==(const DisplayOptions&) const = default;
};

// What the driver dialogs choose for one device; kept per user and device.
struct DeviceSettings {
  FrameSize size;           // unset: the device's own size
  std::string pixelFormat;  // FFmpeg's name; empty: chosen for the codec
  int input = 0;
  std::map<std::string, int> controls;  // picture controls by name; absent ones keep the device's value
  VideoCodec codec = VideoCodec::kMjpeg;
  int quality = 85;  // 1 (smallest file) to 100 (best picture)
  DisplayOptions display;

  bool operator==(const DeviceSettings&) const = default;
};

inline constexpr int kMinQuality = 1;
inline constexpr int kMaxQuality = 100;

}  // namespace tovalen
