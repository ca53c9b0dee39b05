#pragma once

#include <string>
#include <vector>

#include "capture/device_offers.h"
#include "capture/ffmpeg/media_source.h"

namespace tovalen::ffmpeg {

struct VideoRequest {
  DeviceSettings settings;  // size, pixel format, input and controls
  AVRational frameRate{30, 1};
  // The format the encoder takes: a device that can deliver any format delivers this one
  // when the settings name none.
  AVPixelFormat encoderPixelFormat = AV_PIX_FMT_NONE;
};

struct AudioRequest {
  int sampleRate = 44100;
  int channels = 2;
};

// A capture device as the driver lists it: a V4L2 node, the built-in test pattern or a network stream.
class CaptureDevice {
 public:
  virtual ~CaptureDevice() = default;

  virtual std::string Name() const = 0;
  virtual std::string Version() const = 0;
  // Names the device in the settings file; stable across restarts.
  virtual std::string SettingsKey() const = 0;
  virtual bool HasOverlay() const = 0;
  // The device is there and answers; what connecting checks.
  virtual bool IsPresent() const = 0;

  virtual std::vector<VideoFormatOffer> VideoFormats() const = 0;
  virtual std::vector<std::string> Inputs() const = 0;
  virtual std::vector<PictureControl> Controls() const = 0;
  // The frame size delivered when the settings name none.
  virtual FrameSize DefaultSize() const = 0;

  // Applies the settings' picture controls to the device; true when it took them.
  virtual bool ApplyControls(const DeviceSettings& settings) = 0;
  virtual OpenedSource OpenVideo(const VideoRequest& request) = 0;
  // The device's sound: a null source (and no error) when there is no audio input.
  virtual OpenedSource OpenAudio(const AudioRequest& request) = 0;
  // The sound comes in the device's own format (a network stream's), not the sound card's.
  virtual bool HasItsOwnSound() const { return false; }
};

}  // namespace tovalen::ffmpeg
