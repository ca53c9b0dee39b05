#pragma once

#include <string>
#include <vector>

#include "capture/device_settings_record.h"

namespace tovalen {

// One pixel format a device delivers and the frame sizes it offers in it.
struct VideoFormatOffer {
  std::string pixelFormat;  // FFmpeg's name: "yuyv422", "mjpeg"...
  std::vector<FrameSize> sizes;
};

// A picture control of a device (brightness, contrast...).
struct PictureControl {
  std::string name;
  int minimum = 0;
  int maximum = 0;
  int step = 1;
  int defaultValue = 0;
};

}  // namespace tovalen
