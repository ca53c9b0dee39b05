#pragma once

#include "capture/driver_dialog_models.h"

namespace tovalen {

// The capture driver's own dialogs, shown modally over the application's main window.
class WxDriverDialogs : public DriverDialogs {
 public:
  bool EditVideoFormat(VideoFormatModel& model) override;
  bool EditVideoSource(VideoSourceModel& model) override;
  bool EditVideoDisplay(VideoDisplayModel& model) override;
  bool EditCompression(CompressionModel& model) override;
};

}  // namespace tovalen
