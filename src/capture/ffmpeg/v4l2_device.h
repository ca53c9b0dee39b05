#pragma once

#include "capture/ffmpeg/capture_device.h"
#include "capture/ffmpeg/v4l2_node.h"

namespace tovalen::ffmpeg {

// A V4L2 capture node, read through libavdevice; its sound comes from the default audio input.
class V4l2Device : public CaptureDevice {
 public:
  V4l2Device(std::string path, V4l2Identity identity) : m_path(std::move(path)), m_identity(std::move(identity)) {}

  std::string Name() const override { return m_identity.card; }
  std::string Version() const override { return m_identity.version; }
  std::string SettingsKey() const override { return "v4l2:" + m_identity.card + "@" + m_identity.busInfo; }
  bool HasOverlay() const override { return m_identity.hasOverlay; }
  bool IsPresent() const override;

  std::vector<VideoFormatOffer> VideoFormats() const override;
  std::vector<std::string> Inputs() const override;
  std::vector<PictureControl> Controls() const override;
  FrameSize DefaultSize() const override;

  bool ApplyControls(const DeviceSettings& settings) override;
  OpenedSource OpenVideo(const VideoRequest& request) override;
  OpenedSource OpenAudio(const AudioRequest& request) override;

  const std::string& Path() const { return m_path; }

 private:
  std::string m_path;
  V4l2Identity m_identity;
};

}  // namespace tovalen::ffmpeg
