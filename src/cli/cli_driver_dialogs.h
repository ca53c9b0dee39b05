#pragma once

#include <optional>
#include <string>

#include "capture/driver_dialog_models.h"

namespace tovalen::cli {

// The driver dialogs answered from the command line: each dialog takes the choices given for
// it and confirms. A choice the device does not offer cancels the dialog and is kept in
// `refusal`, so that nothing is changed and the command can say why.
class CliDriverDialogs : public DriverDialogs {
 public:
  bool EditVideoFormat(VideoFormatModel& model) override;
  bool EditVideoSource(VideoSourceModel& model) override;
  bool EditVideoDisplay(VideoDisplayModel&) override { return false; }
  bool EditCompression(CompressionModel& model) override;

  // Forgets the answers of the last command.
  void Clear() { *this = CliDriverDialogs(); }

  std::optional<FrameSize> size;
  std::optional<int> input;
  std::optional<VideoCodec> codec;
  std::optional<int> quality;
  std::string refusal;

 private:
  bool Refused(const Refusal& refusal);
};

}  // namespace tovalen::cli
