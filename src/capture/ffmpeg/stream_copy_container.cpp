#include "capture/ffmpeg/stream_copy_container.h"

#include <algorithm>
#include <array>
#include <cctype>
#include <filesystem>

namespace tovalen::ffmpeg {
namespace {

constexpr ContainerFormat kTransportStream{"mpegts", "", "MPEG-TS", false};
constexpr ContainerFormat kMatroska{"matroska", "cluster_time_limit=1000", "Matroska", false};
// Fragments at each key frame and at least every second.
constexpr ContainerFormat kFragmentedMp4{
    "mp4", "movflags=frag_keyframe+empty_moov+default_base_moof:frag_duration=1000000", "MP4", false};

// The codecs an MPEG-TS muxer gives a stream type of their own: libavformat cannot say so
// itself, and the muxer would write anything else as private data that no player reads.
constexpr std::array kTransportStreamCodecs{
    AV_CODEC_ID_MPEG1VIDEO, AV_CODEC_ID_MPEG2VIDEO, AV_CODEC_ID_MPEG4, AV_CODEC_ID_H264,
    AV_CODEC_ID_HEVC,       AV_CODEC_ID_CAVS,       AV_CODEC_ID_DIRAC, AV_CODEC_ID_VC1,
    AV_CODEC_ID_MP2,        AV_CODEC_ID_MP3,        AV_CODEC_ID_AAC,   AV_CODEC_ID_AAC_LATM,
    AV_CODEC_ID_AC3,        AV_CODEC_ID_EAC3,       AV_CODEC_ID_DTS,   AV_CODEC_ID_OPUS};

std::string LowerCase(std::string text) {
  std::transform(text.begin(), text.end(), text.begin(), [](unsigned char c) { return std::tolower(c); });
  return text;
}

}  // namespace

const std::vector<CopyTarget>& CopyTargets() {
  static const std::vector<CopyTarget> targets{
      {".ts", kTransportStream}, {".mkv", kMatroska}, {".mp4", kFragmentedMp4}};
  return targets;
}

std::optional<CopyTarget> CopyTargetFor(const std::string& target) {
  const std::string extension = LowerCase(std::filesystem::path(target).extension().string());
  for (const CopyTarget& copy : CopyTargets())
    if (extension == copy.extension) return copy;
  return std::nullopt;
}

std::optional<ContainerFormat> CopyContainerFor(const std::string& target) {
  const std::optional<CopyTarget> copy = CopyTargetFor(target);
  return copy ? std::optional(copy->container) : std::nullopt;
}

bool ContainerHolds(const ContainerFormat& container, AVCodecID codec) {
  if (std::string_view(container.muxer) == kTransportStream.muxer)
    return std::find(kTransportStreamCodecs.begin(), kTransportStreamCodecs.end(), codec) !=
           kTransportStreamCodecs.end();
  const AVOutputFormat* format = av_guess_format(container.muxer, nullptr, nullptr);
  return format && avformat_query_codec(format, codec, FF_COMPLIANCE_NORMAL) == 1;
}

Result<> CheckContainerHolds(const ContainerFormat& container, AVCodecID codec) {
  if (ContainerHolds(container, codec)) return {};
  return DriverError{StopReason::kWriteFailed, std::string("the stream's ") + avcodec_get_name(codec) +
                                                   " cannot be copied into " + container.name +
                                                   "; record it into .avi instead"};
}

}  // namespace tovalen::ffmpeg
