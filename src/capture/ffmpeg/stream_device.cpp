#include "capture/ffmpeg/stream_device.h"

#include "capture/stream_url.h"

namespace tovalen::ffmpeg {

// Placeholder until the stream session lands: listed, never opened.
StreamDevice::StreamDevice(std::string name, std::string url) : m_name(std::move(name)), m_url(std::move(url)) {}

std::string StreamDevice::Version() const { return MaskedUrl(m_url); }
std::string StreamDevice::SettingsKey() const { return "stream:" + m_name; }
bool StreamDevice::IsPresent() const { return false; }
std::vector<VideoFormatOffer> StreamDevice::VideoFormats() const { return {}; }
std::vector<std::string> StreamDevice::Inputs() const { return {}; }
FrameSize StreamDevice::DefaultSize() const { return {640, 480}; }
OpenedSource StreamDevice::OpenVideo(const VideoRequest&) {
  return DriverError{StopReason::kDeviceOpenFailed, "not built"};
}
OpenedSource StreamDevice::OpenAudio(const AudioRequest&) {
  return DriverError{StopReason::kDeviceOpenFailed, "not built"};
}

}  // namespace tovalen::ffmpeg
