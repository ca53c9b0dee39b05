#pragma once

#include <atomic>
#include <cstdint>
#include <memory>
#include <thread>

#include "capture/device_settings_record.h"
#include "capture/ffmpeg/bounded_queue.h"
#include "capture/ffmpeg/driver_result.h"
#include "capture/ffmpeg/ffmpeg_handles.h"
#include "capture/preview_surface.h"

namespace tovalen::ffmpeg {

enum class PreviewMode {
  kPreview,  // at the preview rate
  kOverlay,  // every frame
};

struct PreviewConfig {
  PreviewSurface* surface = nullptr;  // not owned; must outlive the renderer
  PreviewMode mode = PreviewMode::kPreview;
  int rateMs = 66;
  DisplayOptions display;
  FrameSize window{320, 240};
};

// Decodes captured video packets into RGB images for a surface on its own thread. Offer never
// waits: a packet the renderer has no room for, or that comes before the preview rate allows,
// is skipped (a preview may miss frames; the capture never waits for it).
class PreviewRenderer {
 public:
  // Fails when the stream cannot be decoded.
  static Result<std::unique_ptr<PreviewRenderer>> Create(const AVCodecParameters& parameters, PreviewConfig config);
  ~PreviewRenderer();
  PreviewRenderer(const PreviewRenderer&) = delete;
  PreviewRenderer& operator=(const PreviewRenderer&) = delete;

  void Offer(const AVPacket& packet, std::int64_t captureUs);
  void SetWindowSize(FrameSize window);
  std::uint64_t FramesShown() const { return m_shown.load(); }

  // The size an image of imageSize is drawn at in the window.
  static FrameSize FitSize(FrameSize imageSize, FrameSize window, DisplayOptions display);

 private:
  PreviewRenderer(CodecContextPtr decoder, PreviewConfig config);
  void Run();
  void Show(const AVFrame& frame);

  PreviewConfig m_config;
  CodecContextPtr m_decoder;  // none for wrapped pictures
  ScaleContextPtr m_scaler;
  FramePtr m_decoded;
  BoundedQueue<PacketPtr> m_queue{2};
  std::atomic<int> m_windowWidth;
  std::atomic<int> m_windowHeight;
  std::atomic<std::uint64_t> m_shown{0};
  std::int64_t m_lastOfferUs = -1;  // reader thread only
  std::jthread m_thread;
};

}  // namespace tovalen::ffmpeg
