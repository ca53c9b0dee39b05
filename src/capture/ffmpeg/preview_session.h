#pragma once

#include <atomic>
#include <memory>
#include <thread>

#include "capture/ffmpeg/capture_device.h"
#include "capture/ffmpeg/preview_renderer.h"

namespace tovalen::ffmpeg {

// The live picture while no capture runs: reads the device's video on its own thread and
// draws it through a renderer. A device that fails just stops the picture.
class PreviewSession {
 public:
  // The running session, or why there is none.
  static Result<std::unique_ptr<PreviewSession>> Start(CaptureDevice& device, const VideoRequest& request,
                                                       const PreviewConfig& config);
  ~PreviewSession();
  PreviewSession(const PreviewSession&) = delete;
  PreviewSession& operator=(const PreviewSession&) = delete;

  void SetWindowSize(FrameSize window) { m_renderer->SetWindowSize(window); }
  FrameSize ImageSize() const;
  std::uint64_t FramesShown() const { return m_renderer->FramesShown(); }

 private:
  PreviewSession(std::unique_ptr<MediaSource> source, std::unique_ptr<PreviewRenderer> renderer);
  void Read();

  std::unique_ptr<MediaSource> m_source;
  std::unique_ptr<PreviewRenderer> m_renderer;
  std::atomic<bool> m_stop{false};
  std::jthread m_reader;
};

}  // namespace tovalen::ffmpeg
