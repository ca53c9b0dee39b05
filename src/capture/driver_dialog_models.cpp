#include "capture/driver_dialog_models.h"

#include <algorithm>

#include "capture/video_codec_names.h"

namespace tovalen {
namespace {

std::string Join(const std::vector<FrameSize>& sizes) {
  std::string text;
  for (const FrameSize& size : sizes) text += (text.empty() ? "" : ", ") + size.ToString();
  return text;
}

bool Contains(const std::vector<FrameSize>& sizes, FrameSize size) {
  return std::find(sizes.begin(), sizes.end(), size) != sizes.end();
}

}  // namespace

VideoFormatModel::VideoFormatModel(std::vector<VideoFormatOffer> offers, const DeviceSettings& settings)
    : m_offers(std::move(offers)), m_size(settings.size), m_pixelFormat(settings.pixelFormat) {}

std::vector<FrameSize> VideoFormatModel::OfferedSizes() const {
  std::vector<FrameSize> sizes;
  for (const VideoFormatOffer& offer : m_offers) {
    if (!m_pixelFormat.empty() && offer.pixelFormat != m_pixelFormat) continue;
    for (const FrameSize& size : offer.sizes)
      if (!Contains(sizes, size)) sizes.push_back(size);
  }
  return sizes;
}

Refusal VideoFormatModel::SetPixelFormat(const std::string& name) {
  const bool offered = name.empty() || std::any_of(m_offers.begin(), m_offers.end(),
                                                   [&](const VideoFormatOffer& o) { return o.pixelFormat == name; });
  if (!offered) return "the device does not deliver the pixel format " + name;
  m_pixelFormat = name;
  // A size the new format does not offer goes back to the device's own.
  const std::vector<FrameSize> sizes = OfferedSizes();
  if (m_size.IsSet() && !sizes.empty() && !Contains(sizes, m_size)) m_size = {};
  return std::nullopt;
}

Refusal VideoFormatModel::SetSize(FrameSize size) {
  const std::vector<FrameSize> sizes = OfferedSizes();
  // A device that lists no sizes takes any and delivers the nearest it has.
  if (!size.IsSet() || (!sizes.empty() && !Contains(sizes, size)))
    return "the device does not offer the frame size " + size.ToString() + " (offered: " + Join(sizes) + ")";
  m_size = size;
  return std::nullopt;
}

void VideoFormatModel::ApplyTo(DeviceSettings& settings) const {
  settings.size = m_size;
  settings.pixelFormat = m_pixelFormat;
}

VideoSourceModel::VideoSourceModel(std::vector<std::string> inputs, const std::vector<PictureControl>& controls,
                                   const DeviceSettings& settings)
    : m_inputs(std::move(inputs)) {
  m_input = settings.input >= 0 && settings.input < static_cast<int>(m_inputs.size()) ? settings.input : 0;
  for (const PictureControl& control : controls) {
    const auto saved = settings.controls.find(control.name);
    const int value = saved == settings.controls.end() ? control.defaultValue : saved->second;
    m_controls.push_back({control, std::clamp(value, control.minimum, control.maximum)});
  }
}

Refusal VideoSourceModel::SetInput(int input) {
  if (m_inputs.empty()) return std::string("the device has no inputs to choose from");
  if (input < 0 || input >= static_cast<int>(m_inputs.size()))
    return "the device has no input " + std::to_string(input) + " (inputs 0 to " + std::to_string(m_inputs.size() - 1) +
           ")";
  m_input = input;
  return std::nullopt;
}

Refusal VideoSourceModel::SetControl(const std::string& name, int value) {
  const auto control =
      std::find_if(m_controls.begin(), m_controls.end(), [&](const Control& c) { return c.range.name == name; });
  if (control == m_controls.end()) return "the device has no picture control " + name;
  if (value < control->range.minimum || value > control->range.maximum)
    return name + " goes from " + std::to_string(control->range.minimum) + " to " +
           std::to_string(control->range.maximum);
  control->value = value;
  return std::nullopt;
}

void VideoSourceModel::ApplyTo(DeviceSettings& settings) const {
  settings.input = m_input;
  for (const Control& control : m_controls) settings.controls[control.range.name] = control.value;
}

CompressionModel::CompressionModel(const DeviceSettings& settings, std::vector<VideoCodec> available)
    : m_available(std::move(available)), m_codec(settings.codec), m_quality(settings.quality) {}

Refusal CompressionModel::SetCodec(VideoCodec codec) {
  if (std::find(m_available.begin(), m_available.end(), codec) == m_available.end())
    return "this system has no " + CodecName(codec) + " encoder";
  m_codec = codec;
  return std::nullopt;
}

Refusal CompressionModel::SetQuality(int quality) {
  if (quality < kMinQuality || quality > kMaxQuality)
    return "the quality goes from " + std::to_string(kMinQuality) + " to " + std::to_string(kMaxQuality);
  m_quality = quality;
  return std::nullopt;
}

void CompressionModel::ApplyTo(DeviceSettings& settings) const {
  settings.codec = m_codec;
  settings.quality = m_quality;
}

}  // namespace tovalen
