#include "capture/ffmpeg/preview_session.h"

#include <chrono>
#include <new>

#include "capture/ffmpeg/reader_timing.h"
#include "platform/trace.h"

namespace tovalen::ffmpeg {

Result<std::unique_ptr<PreviewSession>> PreviewSession::Start(CaptureDevice& device, const VideoRequest& request,
                                                              const PreviewConfig& config) {
  OpenedSource opened = device.OpenVideo(request);
  if (!opened) return opened.Error();
  if (!*opened) return DriverError{StopReason::kDeviceOpenFailed, "the device has no video"};
  auto renderer = PreviewRenderer::Create((*opened)->Parameters(), config);
  if (!renderer) return renderer.Error();
  return std::unique_ptr<PreviewSession>(new PreviewSession(std::move(*opened), std::move(*renderer)));
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

void PreviewSession::Read() try {
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
} catch (const std::bad_alloc&) {
  Trace("E: preview: out of memory\n");
}

}  // namespace tovalen::ffmpeg
