#pragma once

#include "capture/leftover_recovery.h"

namespace tovalen::ffmpeg {

// Rebuilds what CaptureFile leaves when its process dies: "<name>.recording-XXXXXX.avi", an AVI
// without index, opened as AVI only; a stream's copy ("<name>.recording-XXXXXX.ts", .mkv, .mp4)
// is opened as its own container only and recovered by RecoverCopy. The streams are copied into a scratch file beside
// it, which is flushed to disk, read back whole, and only then takes "<name>.avi", or
// "<name> (recovered).avi", "<name> (recovered 2).avi"... when that is taken. The leftover is
// removed last, and only when the rebuilt file holds all of it that could be read; otherwise both
// are kept. A leftover that is already a finished file (a capture that ended on a full disk) is
// renamed, not copied.
class FfmpegLeftoverRecovery : public LeftoverRecovery {
 public:
  std::vector<std::string> FindLeftovers(const std::string& fileOrFolder) const override;
  LeftoverReport Recover(const std::string& leftover) override;
};

}  // namespace tovalen::ffmpeg
