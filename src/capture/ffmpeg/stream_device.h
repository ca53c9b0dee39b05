#pragma once

#include <string>

#include "capture/ffmpeg/capture_device.h"

namespace tovalen::ffmpeg {

// A network stream the user named: its name is the device's name, its URL with the credentials
// masked the device's version. Its picture is decoded into raw frames, so that the device's codec
// settings apply as to any device; its own sound is its audio, whatever the sound card does. Both
// come from one StreamSession.
class StreamDevice : public CaptureDevice {
 public:
  StreamDevice(std::string name, std::string url);

  const std::string& Url() const { return m_url; }

  std::string Name() const override { return m_name; }
  std::string Version() const override;
  std::string SettingsKey() const override;
  bool HasOverlay() const override { return false; }
  bool IsPresent() const override;

  std::vector<VideoFormatOffer> VideoFormats() const override;
  std::vector<std::string> Inputs() const override;
  std::vector<PictureControl> Controls() const override { return {}; }
  FrameSize DefaultSize() const override;

  bool ApplyControls(const DeviceSettings&) override { return true; }
  OpenedSource OpenVideo(const VideoRequest& request) override;
  OpenedSource OpenAudio(const AudioRequest& request) override;

 private:
  std::string m_name;
  std::string m_url;
};

}  // namespace tovalen::ffmpeg
