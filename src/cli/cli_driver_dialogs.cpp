#include "cli/cli_driver_dialogs.h"

namespace tovalen::cli {

bool CliDriverDialogs::Refused(const ffmpeg::Refusal& why) {
  if (why && refusal.empty()) refusal = *why;
  return why.has_value();
}

bool CliDriverDialogs::EditVideoFormat(ffmpeg::VideoFormatModel& model) {
  return !(size && Refused(model.SetSize(*size)));
}

bool CliDriverDialogs::EditVideoSource(ffmpeg::VideoSourceModel& model) {
  return !(input && Refused(model.SetInput(*input)));
}

bool CliDriverDialogs::EditCompression(ffmpeg::CompressionModel& model) {
  if (codec && Refused(model.SetCodec(*codec))) return false;
  return !(quality && Refused(model.SetQuality(*quality)));
}

}  // namespace tovalen::cli
