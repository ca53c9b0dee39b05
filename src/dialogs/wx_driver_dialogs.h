#pragma once

#include "capture/ffmpeg/driver_dialog_models.h"

namespace tovalen {

// The capture driver's own dialogs, shown modally over the application's main window.
class WxDriverDialogs : public ffmpeg::DriverDialogs {
 public:
  bool EditVideoFormat(ffmpeg::VideoFormatModel& model) override;
  bool EditVideoSource(ffmpeg::VideoSourceModel& model) override;
  bool EditVideoDisplay(ffmpeg::VideoDisplayModel& model) override;
  bool EditCompression(ffmpeg::CompressionModel& model) override;
};

}  // namespace tovalen
