#pragma once

#include "capture/ffmpeg/capture_device.h"

namespace tovalen::ffmpeg {

// The built-in device: a moving test picture (or colour bars, or the picture with camera-like
// noise) and a 440 Hz tone from libavfilter, paced in real time so that it behaves like a camera.
// It offers overlay, three inputs and brightness and contrast controls.
class TestPatternDevice : public CaptureDevice {
 public:
  std::string Name() const override;
  std::string Version() const override;
  std::string SettingsKey() const override { return "test-pattern"; }
  bool HasOverlay() const override { return true; }
  bool IsPresent() const override { return true; }

  std::vector<VideoFormatOffer> VideoFormats() const override;
  std::vector<std::string> Inputs() const override;
  std::vector<PictureControl> Controls() const override;
  FrameSize DefaultSize() const override { return {640, 480}; }

  bool ApplyControls(const DeviceSettings&) override { return true; }  // applied in the graph
  OpenedSource OpenVideo(const VideoRequest& request) override;
  OpenedSource OpenAudio(const AudioRequest& request) override;

  // The libavfilter graphs behind the streams; the benchmark runs the same ones through ffmpeg.
  static std::string VideoGraph(const VideoRequest& request, FrameSize defaultSize);
  static std::string AudioGraph(const AudioRequest& request);
};

}  // namespace tovalen::ffmpeg
