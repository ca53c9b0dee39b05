#include "cli/cli_driver_dialogs.h"

namespace tovalen::cli {

bool CliDriverDialogs::Refused(const Refusal& why) {
  if (why && refusal.empty()) refusal = *why;
  return why.has_value();
}

bool CliDriverDialogs::EditVideoFormat(VideoFormatModel& model) { return !(size && Refused(model.SetSize(*size))); }

bool CliDriverDialogs::EditVideoSource(VideoSourceModel& model) { return !(input && Refused(model.SetInput(*input))); }

bool CliDriverDialogs::EditCompression(CompressionModel& model) {
  if (codec && Refused(model.SetCodec(*codec))) return false;
  return !(quality && Refused(model.SetQuality(*quality)));
}

}  // namespace tovalen::cli
