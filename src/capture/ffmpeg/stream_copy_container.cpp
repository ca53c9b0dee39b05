#include "capture/ffmpeg/stream_copy_container.h"

#include <algorithm>
#include <array>
#include <cctype>
#include <filesystem>

namespace tovalen::ffmpeg {
namespace {

constexpr ContainerFormat kTransportStream{"mpegts", "", "MPEG-TS"};
constexpr ContainerFormat kMatroska{"matroska", "cluster_time_limit=1000", "Matroska"};
// Fragments at each key frame and at least every second.
constexpr ContainerFormat kFragmentedMp4{
    "mp4", "movflags=frag_keyframe+empty_moov+default_base_moof:frag_duration=1000000", "MP4"};

// libavformat cannot tell what an MPEG-TS holds (it only knows its default codecs), so the
// codecs its muxer carries are listed here.
constexpr std::array kTransportStreamCodecs{
    AV_CODEC_ID_MPEG1VIDEO, AV_CODEC_ID_MPEG2VIDEO, AV_CODEC_ID_MPEG4, AV_CODEC_ID_H264,     AV_CODEC_ID_HEVC,
    AV_CODEC_ID_MP2,        AV_CODEC_ID_MP3,        AV_CODEC_ID_AAC,   AV_CODEC_ID_AAC_LATM, AV_CODEC_ID_AC3,
    AV_CODEC_ID_EAC3,       AV_CODEC_ID_OPUS,       AV_CODEC_ID_DTS,
};

std::string LowerCase(std::string text) {
  std::transform(text.begin(), text.end(), text.begin(), [](unsigned char c) { return std::tolower(c); });
  return text;
}

}  // namespace

std::optional<ContainerFormat> CopyContainerFor(const std::string& target) {
  const std::string extension = LowerCase(std::filesystem::path(target).extension().string());
  if (extension == ".ts") return kTransportStream;
  if (extension == ".mkv") return kMatroska;
  if (extension == ".mp4") return kFragmentedMp4;
  return std::nullopt;
}

Result<> CheckContainerHolds(const ContainerFormat& container, AVCodecID codec) {
  bool holds = false;
  if (std::string_view(container.muxer) == kTransportStream.muxer) {
    holds =
        std::find(kTransportStreamCodecs.begin(), kTransportStreamCodecs.end(), codec) != kTransportStreamCodecs.end();
  } else if (const AVOutputFormat* format = av_guess_format(container.muxer, nullptr, nullptr)) {
    holds = avformat_query_codec(format, codec, FF_COMPLIANCE_NORMAL) == 1;
  }
  if (holds) return {};
  return DriverError{StopReason::kWriteFailed, std::string("the stream's ") + avcodec_get_name(codec) +
                                                   " cannot be copied into " + container.name +
                                                   "; record it into .avi instead"};
}

}  // namespace tovalen::ffmpeg
