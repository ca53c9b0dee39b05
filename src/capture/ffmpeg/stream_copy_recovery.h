#pragma once

#include <string>

#include "capture/ffmpeg/avi_writer.h"
#include "capture/leftover_recovery.h"

namespace tovalen::ffmpeg {

// Recovers what a killed copy of a stream left ("<name>.recording-XXXXXX.ts", .mkv or .mp4),
// opened with its own container's reader only, through the descriptor (held locked by the
// caller). An MPEG-TS needs no end: once it reads, it takes "<name>.ts" (or the first free
// "<name> (recovered).ts"...) as it is. A Matroska or MP4 file lacks what its end would have
// said (the index, the length); its packets are copied into a new file of the container, which
// is flushed, read back and only then named, and the leftover is removed only when the new file
// holds every packet of it that could be read.
LeftoverReport RecoverCopy(int leftoverFd, LeftoverReport report, const std::string& target,
                           const ContainerFormat& container);

}  // namespace tovalen::ffmpeg
