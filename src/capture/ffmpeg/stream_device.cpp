#include "capture/ffmpeg/stream_device.h"

#include "capture/ffmpeg/stream_source.h"
#include "capture/stream_url.h"

namespace tovalen::ffmpeg {
namespace {

// The sizes the test pattern offers: what the encoders are known to take.
const std::vector<FrameSize> kSizes{{160, 120}, {320, 240},  {352, 288},  {640, 480},   {720, 480},  {720, 576},
                                    {800, 600}, {1024, 768}, {1280, 720}, {1280, 1024}, {1920, 1080}};

bool IsRtsp(const std::string& url) { return url.starts_with("rtsp://") || url.starts_with("rtsps://"); }

RtspTransport TransportOf(const std::string& url, int input) {
  if (!IsRtsp(url)) return RtspTransport::kAutomatic;
  if (input == 1) return RtspTransport::kTcp;
  if (input == 2) return RtspTransport::kUdp;
  return RtspTransport::kAutomatic;
}

}  // namespace

StreamDevice::StreamDevice(std::string name, std::string url, StreamTimes times)
    : m_name(std::move(name)), m_url(std::move(url)), m_times(times) {}

std::string StreamDevice::Version() const { return MaskedUrl(m_url); }
std::string StreamDevice::SettingsKey() const { return "stream:" + m_name; }

// Connecting is what tells whether it is there.
bool StreamDevice::IsPresent() const { return true; }

// Without a size, the picture comes at the size the stream sends.
std::vector<VideoFormatOffer> StreamDevice::VideoFormats() const { return {{"yuv420p", kSizes}}; }

std::vector<std::string> StreamDevice::Inputs() const {
  if (IsRtsp(m_url)) return {"自動", "TCP", "UDP"};
  return {"ストリーム"};
}

FrameSize StreamDevice::DefaultSize() const {
  std::lock_guard lock(m_mutex);
  return m_lastSize;
}

Result<std::shared_ptr<StreamSession>> StreamDevice::Session(int input) {
  std::lock_guard lock(m_mutex);
  if (auto session = m_session.lock()) return session;
  auto opened = StreamSession::Open(m_url, StreamPackets::kDecoded, m_times, TransportOf(m_url, input));
  if (!opened) return opened.Error();
  m_session = *opened;
  if (const StreamTrack* video = (*opened)->Video()) m_lastSize = {video->parameters->width, video->parameters->height};
  return opened;
}

Result<std::shared_ptr<StreamSession>> StreamDevice::OpenForCopy(int input) const {
  return StreamSession::Open(m_url, StreamPackets::kAsTheyCome, m_times, TransportOf(m_url, input));
}

OpenedSource StreamDevice::OpenVideo(const VideoRequest& request) {
  auto session = Session(request.settings.input);
  if (!session) return session.Error();
  std::unique_ptr<MediaSource> source = StreamSource::Create(*session, AVMEDIA_TYPE_VIDEO, request.settings.size);
  if (!source) return DriverError{StopReason::kDeviceOpenFailed, "the stream " + Version() + " has no picture"};
  return source;
}

OpenedSource StreamDevice::OpenAudio(const AudioRequest&) {
  auto session = Session(0);
  if (!session) return session.Error();
  return std::unique_ptr<MediaSource>(StreamSource::Create(*session, AVMEDIA_TYPE_AUDIO));
}

}  // namespace tovalen::ffmpeg
