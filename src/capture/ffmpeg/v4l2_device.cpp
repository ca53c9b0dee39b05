#include "capture/ffmpeg/v4l2_device.h"

#include "capture/ffmpeg/default_audio_input.h"
#include "capture/ffmpeg/format_media_source.h"

namespace tovalen::ffmpeg {

bool V4l2Device::IsPresent() const {
  const auto node = V4l2Node::Open(m_path);
  const auto identity = node ? node->Identity() : std::nullopt;
  // Another device can appear at the same node: it must still be the one listed.
  return identity && identity->canCapture && identity->card == m_identity.card &&
         identity->busInfo == m_identity.busInfo;
}

std::vector<VideoFormatOffer> V4l2Device::VideoFormats() const {
  const auto node = V4l2Node::Open(m_path);
  return node ? node->Formats() : std::vector<VideoFormatOffer>{};
}

std::vector<std::string> V4l2Device::Inputs() const {
  const auto node = V4l2Node::Open(m_path);
  return node ? node->Inputs() : std::vector<std::string>{};
}

std::vector<PictureControl> V4l2Device::Controls() const {
  const auto node = V4l2Node::Open(m_path);
  return node ? node->Controls() : std::vector<PictureControl>{};
}

FrameSize V4l2Device::DefaultSize() const {
  const auto node = V4l2Node::Open(m_path);
  const auto size = node ? node->CurrentSize() : std::nullopt;
  return size.value_or(FrameSize{640, 480});
}

bool V4l2Device::ApplyControls(const DeviceSettings& settings) {
  const auto node = V4l2Node::Open(m_path);
  if (!node) return false;
  bool all = true;
  for (const auto& [name, value] : settings.controls) all = node->SetControl(name, value) && all;
  return all;
}

OpenedSource V4l2Device::OpenVideo(const VideoRequest& request) {
  const DeviceSettings& settings = request.settings;
  DeviceInput input;
  input.format = "video4linux2";
  input.url = m_path;
  input.mediaType = AVMEDIA_TYPE_VIDEO;
  input.options["framerate"] = std::to_string(request.frameRate.num) + "/" + std::to_string(request.frameRate.den);
  // A device without inputs to choose refuses the request for one.
  if (!Inputs().empty()) input.options["channel"] = std::to_string(settings.input);
  if (settings.size.IsSet()) input.options["video_size"] = settings.size.ToString();
  if (!settings.pixelFormat.empty()) input.options["input_format"] = settings.pixelFormat;
  ApplyControls(settings);
  return FormatMediaSource::Open(input);
}

OpenedSource V4l2Device::OpenAudio(const AudioRequest& request) { return OpenDefaultAudioInput(request); }

}  // namespace tovalen::ffmpeg
