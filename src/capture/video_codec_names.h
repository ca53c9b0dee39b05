#pragma once

#include <optional>
#include <string>
#include <vector>

#include "capture/device_settings_record.h"

namespace tovalen {

// "mjpeg", "rawvideo", "ffv1", "mpeg4", "h264".
std::string CodecName(VideoCodec codec);
std::optional<VideoCodec> ParseCodecName(const std::string& name);
// Every codec a driver may offer, in the order the compression dialog lists them.
std::vector<VideoCodec> AllVideoCodecs();

}  // namespace tovalen
