#include "capture/ffmpeg/stream_target_check.h"

#include <algorithm>
#include <array>
#include <cctype>
#include <optional>
#include <string_view>
#include <vector>

#include "capture/ffmpeg/stream_device.h"
#include "capture/ffmpeg/stream_session.h"

namespace tovalen::ffmpeg {
namespace {

struct CopyContainer {
  std::string_view extension;
  const char* muxer;
};

constexpr std::array<CopyContainer, 3> kCopyContainers{{{".ts", "mpegts"}, {".mkv", "matroska"}, {".mp4", "mp4"}}};

// The codecs an MPEG-TS muxer gives a stream type of their own: it cannot say so itself, and
// would write anything else as private data that no player reads.
constexpr std::array<AVCodecID, 16> kTransportStreamCodecs{
    AV_CODEC_ID_MPEG1VIDEO, AV_CODEC_ID_MPEG2VIDEO, AV_CODEC_ID_MPEG4, AV_CODEC_ID_H264,
    AV_CODEC_ID_HEVC,       AV_CODEC_ID_CAVS,       AV_CODEC_ID_DIRAC, AV_CODEC_ID_VC1,
    AV_CODEC_ID_MP2,        AV_CODEC_ID_MP3,        AV_CODEC_ID_AAC,   AV_CODEC_ID_AAC_LATM,
    AV_CODEC_ID_AC3,        AV_CODEC_ID_EAC3,       AV_CODEC_ID_DTS,   AV_CODEC_ID_OPUS};

std::string Lower(std::string_view text) {
  std::string lower(text);
  std::transform(lower.begin(), lower.end(), lower.begin(), [](unsigned char c) { return std::tolower(c); });
  return lower;
}

std::optional<CopyContainer> CopyContainerOf(const std::string& target) {
  const std::size_t dot = target.rfind('.');
  if (dot == std::string::npos || target.find('/', dot) != std::string::npos) return std::nullopt;
  const std::string extension = Lower(std::string_view(target).substr(dot));
  for (const CopyContainer& container : kCopyContainers)
    if (container.extension == extension) return container;
  return std::nullopt;
}

bool Holds(const CopyContainer& container, AVCodecID codec) {
  const AVOutputFormat* muxer = av_guess_format(container.muxer, nullptr, nullptr);
  if (!muxer) return false;
  const int answer = avformat_query_codec(muxer, codec, 0);
  if (answer >= 0) return answer == 1;
  return std::find(kTransportStreamCodecs.begin(), kTransportStreamCodecs.end(), codec) !=
             kTransportStreamCodecs.end() &&
         std::string_view(container.muxer) == "mpegts";
}

bool HoldsAll(const CopyContainer& container, const StreamProbe& probe) {
  return (!probe.video || Holds(container, *probe.video)) && (!probe.audio || Holds(container, *probe.audio));
}

// ".mkv か .avi", ".ts、.mkv か .avi": the extensions that would take this stream.
std::string Alternatives(const StreamProbe& probe) {
  std::vector<std::string> names;
  for (const CopyContainer& container : kCopyContainers)
    if (HoldsAll(container, probe)) names.emplace_back(container.extension);
  names.emplace_back(".avi");  // decoded and encoded again: any stream
  std::string text;
  for (std::size_t i = 0; i < names.size(); ++i)
    text += (i == 0 ? "" : i + 1 == names.size() ? " か " : "、") + names[i];
  return text;
}

std::string NotHeldText(const char* what, AVCodecID codec, const CopyContainer& container, const StreamProbe& probe) {
  return std::string("ストリームの") + what + " (" + avcodec_get_name(codec) + ") は " +
         std::string(container.extension) + " ファイルにそのまま保存できません。録画ファイルの拡張子を " +
         Alternatives(probe) + " にしてください。";
}

}  // namespace

TargetCheckAnswer StreamTargetCheck::Check(std::int32_t deviceIndex, const std::string& target) const {
  const std::optional<CopyContainer> container = CopyContainerOf(target);
  if (!container || deviceIndex < 0) return {};
  const auto devices = m_catalog->Enumerate();
  if (static_cast<std::size_t>(deviceIndex) >= devices.size()) return {};
  const auto* stream = dynamic_cast<const StreamDevice*>(devices[static_cast<std::size_t>(deviceIndex)].get());
  if (!stream)
    return {
        "拡張子が .ts、.mkv、.mp4 の録画ファイルはネットワークストリームをそのまま保存するためのものです。"
        "このキャプチャデバイスでは .avi の録画ファイルを指定してください。",
        {}};

  const Result<StreamProbe> probe = ProbeStream(stream->Url(), m_probeLimit);
  if (!probe)
    return {{},
            "ストリームにつながらないため、" + std::string(container->extension) +
                " ファイルに保存できるかを確かめられませんでした (" + probe.Error().detail + ")。"};
  if (probe->video && !Holds(*container, *probe->video))
    return {NotHeldText("映像", *probe->video, *container, *probe), {}};
  if (probe->audio && !Holds(*container, *probe->audio))
    return {NotHeldText("音声", *probe->audio, *container, *probe), {}};
  return {};
}

}  // namespace tovalen::ffmpeg
