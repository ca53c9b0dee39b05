#include "capture/video_codec_names.h"

#include <array>
#include <utility>

namespace tovalen {
namespace {

constexpr std::array kCodecNames{
    std::pair{VideoCodec::kMjpeg, "mjpeg"}, std::pair{VideoCodec::kRawVideo, "rawvideo"},
    std::pair{VideoCodec::kFfv1, "ffv1"},   std::pair{VideoCodec::kMpeg4, "mpeg4"},
    std::pair{VideoCodec::kH264, "h264"},
};

}  // namespace

std::string CodecName(VideoCodec codec) {
  for (const auto& [known, name] : kCodecNames)
    if (known == codec) return name;
  return "unknown";
}

std::optional<VideoCodec> ParseCodecName(const std::string& name) {
  for (const auto& [codec, known] : kCodecNames)
    if (name == known) return codec;
  return std::nullopt;
}

std::vector<VideoCodec> AllVideoCodecs() {
  std::vector<VideoCodec> codecs;
  for (const auto& entry : kCodecNames) codecs.push_back(entry.first);
  return codecs;
}

}  // namespace tovalen
