#pragma once

#include <optional>
#include <string>
#include <vector>

#include "capture/device_offers.h"
#include "capture/device_settings_record.h"

namespace tovalen {

// The models behind the driver's four dialogs. Each holds what the device offers and the
// current choice, made from a device's settings and written back into them on OK. A setter
// refuses what the device does not offer and returns why; nothing then changes.
using Refusal = std::optional<std::string>;

// Frame size and pixel format.
class VideoFormatModel {
 public:
  VideoFormatModel(std::vector<VideoFormatOffer> offers, const DeviceSettings& settings);

  const std::vector<VideoFormatOffer>& Offers() const { return m_offers; }
  // The sizes offered in the chosen pixel format, or in any when it is chosen automatically.
  std::vector<FrameSize> OfferedSizes() const;
  FrameSize Size() const { return m_size; }
  const std::string& PixelFormat() const { return m_pixelFormat; }  // empty: automatic

  Refusal SetPixelFormat(const std::string& name);
  Refusal SetSize(FrameSize size);
  void ApplyTo(DeviceSettings& settings) const;

 private:
  std::vector<VideoFormatOffer> m_offers;
  FrameSize m_size;
  std::string m_pixelFormat;
};

// The input and the picture controls.
class VideoSourceModel {
 public:
  struct Control {
    PictureControl range;
    int value = 0;
  };

  VideoSourceModel(std::vector<std::string> inputs, const std::vector<PictureControl>& controls,
                   const DeviceSettings& settings);

  const std::vector<std::string>& Inputs() const { return m_inputs; }
  int Input() const { return m_input; }
  const std::vector<Control>& Controls() const { return m_controls; }

  Refusal SetInput(int input);
  Refusal SetControl(const std::string& name, int value);
  void ApplyTo(DeviceSettings& settings) const;

 private:
  std::vector<std::string> m_inputs;
  int m_input = 0;
  std::vector<Control> m_controls;
};

// How the preview is shown.
class VideoDisplayModel {
 public:
  explicit VideoDisplayModel(const DeviceSettings& settings) : m_display(settings.display) {}

  DisplayOptions Options() const { return m_display; }
  void SetScaleToWindow(bool on) { m_display.scaleToWindow = on; }
  void SetKeepAspect(bool on) { m_display.keepAspect = on; }
  void ApplyTo(DeviceSettings& settings) const { settings.display = m_display; }

 private:
  DisplayOptions m_display;
};

// The codec and its quality.
class CompressionModel {
 public:
  // `available`: the codecs the driver can encode, in the order they are offered.
  CompressionModel(const DeviceSettings& settings, std::vector<VideoCodec> available);

  const std::vector<VideoCodec>& Available() const { return m_available; }
  VideoCodec Codec() const { return m_codec; }
  int Quality() const { return m_quality; }

  Refusal SetCodec(VideoCodec codec);
  Refusal SetQuality(int quality);
  void ApplyTo(DeviceSettings& settings) const;

 private:
  std::vector<VideoCodec> m_available;
  VideoCodec m_codec;
  int m_quality;
};

// Shows the driver's dialogs; the GUI implements it with its own dialogs. Each call shows a
// modal dialog on the model and returns true when the user confirmed it.
class DriverDialogs {
 public:
  virtual ~DriverDialogs() = default;

  virtual bool EditVideoFormat(VideoFormatModel& model) = 0;
  virtual bool EditVideoSource(VideoSourceModel& model) = 0;
  virtual bool EditVideoDisplay(VideoDisplayModel& model) = 0;
  virtual bool EditCompression(CompressionModel& model) = 0;
};

}  // namespace tovalen
