#include "capture/ffmpeg/preview_renderer.h"

#include <algorithm>
#include <new>

extern "C" {
#include <libavutil/imgutils.h>
}

#include "capture/ffmpeg/wrapped_frame.h"
#include "platform/trace.h"

namespace tovalen::ffmpeg {

Result<std::unique_ptr<PreviewRenderer>> PreviewRenderer::Create(const AVCodecParameters& parameters,
                                                                 PreviewConfig config) {
  if (IsWrappedFrame(parameters)) return std::unique_ptr<PreviewRenderer>(new PreviewRenderer(nullptr, config));
  CodecContextPtr context;
  const int rc = OpenStreamDecoder(parameters, context);
  if (rc == AVERROR_DECODER_NOT_FOUND) return DriverError{StopReason::kEncoderFailed, "no decoder for the preview"};
  if (rc < 0) return AvFailure(StopReason::kEncoderFailed, "the preview decoder cannot be opened", rc);
  return std::unique_ptr<PreviewRenderer>(new PreviewRenderer(std::move(context), config));
}

PreviewRenderer::PreviewRenderer(CodecContextPtr decoder, PreviewConfig config)
    : m_config(config),
      m_decoder(std::move(decoder)),
      m_decoded(MakeFrame()),
      m_windowWidth(config.window.width),
      m_windowHeight(config.window.height) {
  m_thread = std::jthread([this] { Run(); });
}

PreviewRenderer::~PreviewRenderer() {
  m_queue.Close();
  if (m_thread.joinable()) m_thread.join();
}

void PreviewRenderer::Offer(const AVPacket& packet, std::int64_t captureUs) {
  const bool due = m_config.mode == PreviewMode::kOverlay || m_lastOfferUs < 0 ||
                   captureUs - m_lastOfferUs >= std::int64_t{m_config.rateMs} * 1000;
  if (!due) return;
  PacketPtr copy = RefPacket(packet);
  if (m_queue.TryPush(copy)) m_lastOfferUs = captureUs;
}

void PreviewRenderer::SetWindowSize(FrameSize window) {
  m_windowWidth = window.width;
  m_windowHeight = window.height;
}

FrameSize PreviewRenderer::FitSize(FrameSize imageSize, FrameSize window, DisplayOptions display) {
  if (!display.scaleToWindow || !window.IsSet() || !imageSize.IsSet()) return imageSize;
  if (!display.keepAspect) return window;
  // The largest size with the image's shape that fits in the window.
  const std::int64_t byWidth = std::int64_t{window.width} * imageSize.height;
  const std::int64_t byHeight = std::int64_t{window.height} * imageSize.width;
  if (byWidth <= byHeight) return {window.width, std::max(1, static_cast<int>(byWidth / imageSize.width))};
  return {std::max(1, static_cast<int>(byHeight / imageSize.height)), window.height};
}

void PreviewRenderer::Run() try {
  while (auto packet = m_queue.Pop()) {
    if (!m_decoder) {  // a wrapped picture
      if (RefWrappedFrame(**packet, *m_decoded) < 0) continue;
      Show(*m_decoded);
      av_frame_unref(m_decoded.get());
      continue;
    }
    if (avcodec_send_packet(m_decoder.get(), packet->get()) < 0) continue;
    while (avcodec_receive_frame(m_decoder.get(), m_decoded.get()) == 0) {
      Show(*m_decoded);
      av_frame_unref(m_decoded.get());
    }
  }
} catch (const std::bad_alloc&) {
  // The picture stops; a capture it shows goes on without it.
  Trace("E: preview: out of memory\n");
}

void PreviewRenderer::Show(const AVFrame& frame) {
  const FrameSize size =
      FitSize({frame.width, frame.height}, {m_windowWidth.load(), m_windowHeight.load()}, m_config.display);
  m_scaler.reset(sws_getCachedContext(m_scaler.release(), frame.width, frame.height,
                                      static_cast<AVPixelFormat>(frame.format), size.width, size.height,
                                      AV_PIX_FMT_RGB24, SWS_BILINEAR, nullptr, nullptr, nullptr));
  if (!m_scaler) return;
  auto image = std::make_shared<PreviewImage>();
  image->width = size.width;
  image->height = size.height;
  image->rgb.resize(static_cast<std::size_t>(size.width) * size.height * 3);
  std::uint8_t* planes[4] = {image->rgb.data(), nullptr, nullptr, nullptr};
  int strides[4] = {size.width * 3, 0, 0, 0};
  sws_scale(m_scaler.get(), frame.data, frame.linesize, 0, frame.height, planes, strides);
  m_config.surface->ShowFrame(std::move(image));
  ++m_shown;
}

}  // namespace tovalen::ffmpeg
