#include "capture/ffmpeg/preview_session.h"

#include <chrono>
#include <stdexcept>

#include "capture/ffmpeg/reader_timing.h"
#include "platform/trace.h"

namespace tovalen::ffmpeg {

std::unique_ptr<PreviewSession> PreviewSession::Start(CaptureDevice& device, const VideoRequest& request,
                                                      const PreviewConfig& config, std::string& error) {
  OpenedSource opened = device.OpenVideo(request);
  if (!opened.source) {
    error = opened.detail + ": " + AvErrorText(opened.error);
    return nullptr;
  }
  try {
    auto renderer = std::make_unique<PreviewRenderer>(opened.source->Parameters(), config);
    return std::unique_ptr<PreviewSession>(new PreviewSession(std::move(opened.source), std::move(renderer)));
  } catch (const std::runtime_error& failure) {
    error = failure.what();
    return nullptr;
  }
}

PreviewSession::PreviewSession(std::unique_ptr<MediaSource> source, std::unique_ptr<PreviewRenderer> renderer)
    : m_source(std::move(source)), m_renderer(std::move(renderer)) {
  m_reader = std::jthread([this] { Read(); });
}

PreviewSession::~PreviewSession() {
  m_stop = true;
  if (m_reader.joinable()) m_reader.join();
  m_renderer.reset();  // before the source whose parameters it was made from
}

FrameSize PreviewSession::ImageSize() const {
  const AVCodecParameters& parameters = m_source->Parameters();
  return {parameters.width, parameters.height};
}

void PreviewSession::Read() {
  PacketPtr packet = MakePacket();
  while (!m_stop) {
    const ReadResult result = m_source->Read(*packet);
    if (result.status == ReadStatus::kAgain) {
      std::this_thread::sleep_for(kDevicePollInterval);
      continue;
    }
    if (result.status != ReadStatus::kPacket) {
      Trace("E: preview: the device stopped delivering frames\n");
      return;
    }
    m_renderer->Offer(*packet, SteadyMicroseconds());
    av_packet_unref(packet.get());
  }
}

}  // namespace tovalen::ffmpeg
