#include "capture/ffmpeg/stream_target_check.h"

#include <optional>
#include <string_view>
#include <vector>

#include "capture/ffmpeg/stream_copy_container.h"
#include "capture/ffmpeg/stream_device.h"
#include "capture/ffmpeg/stream_session.h"

namespace tovalen::ffmpeg {
namespace {

bool HoldsAll(const ContainerFormat& container, const StreamProbe& probe) {
  return (!probe.video || ContainerHolds(container, *probe.video)) &&
         (!probe.audio || ContainerHolds(container, *probe.audio));
}

// ".mkv か .avi", ".ts、.mkv か .avi": the extensions that would take this stream.
std::string Alternatives(const StreamProbe& probe) {
  std::vector<std::string> names;
  for (const CopyTarget& copy : CopyTargets())
    if (HoldsAll(copy.container, probe)) names.emplace_back(copy.extension);
  names.emplace_back(".avi");  // decoded and encoded again: any stream
  std::string text;
  for (std::size_t i = 0; i < names.size(); ++i)
    text += (i == 0 ? "" : i + 1 == names.size() ? " か " : "、") + names[i];
  return text;
}

std::string NotHeldText(const char* what, AVCodecID codec, const CopyTarget& copy, const StreamProbe& probe) {
  return std::string("ストリームの") + what + " (" + avcodec_get_name(codec) + ") は " + std::string(copy.extension) +
         " ファイルにそのまま保存できません。録画ファイルの拡張子を " + Alternatives(probe) + " にしてください。";
}

}  // namespace

TargetCheckAnswer StreamTargetCheck::Check(std::int32_t deviceIndex, const std::string& target) const {
  const std::optional<CopyTarget> container = CopyTargetFor(target);
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
  if (probe->video && !ContainerHolds(container->container, *probe->video))
    return {NotHeldText("映像", *probe->video, *container, *probe), {}};
  if (probe->audio && !ContainerHolds(container->container, *probe->audio))
    return {NotHeldText("音声", *probe->audio, *container, *probe), {}};
  return {};
}

}  // namespace tovalen::ffmpeg
