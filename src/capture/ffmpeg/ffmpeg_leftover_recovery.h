#pragma once

#include "capture/leftover_recovery.h"

namespace tovalen::ffmpeg {

// Rebuilds what CaptureFile leaves when its process dies: "<name>.recording-XXXXXX.avi", an AVI
// without index. The streams are copied into a scratch file beside it, which is flushed to disk
// and only then takes "<name>.avi", or "<name> (recovered).avi", "<name> (recovered 2).avi"...
// when that is taken; the leftover is removed last. A scratch file whose recovery was killed is
// removed by the next recovery of that name.
class FfmpegLeftoverRecovery : public LeftoverRecovery {
 public:
  std::vector<std::string> FindLeftovers(const std::string& fileOrFolder) const override;
  LeftoverReport Recover(const std::string& leftover) override;
};

}  // namespace tovalen::ffmpeg
