#pragma once

#include <optional>
#include <string>

#include "capture/ffmpeg/avi_writer.h"
#include "capture/ffmpeg/driver_result.h"
#include "capture/ffmpeg/ffmpeg_handles.h"

namespace tovalen::ffmpeg {

// The container a stream is copied into when the target's extension names one: .ts (MPEG-TS),
// .mkv (Matroska) or .mp4, in any case; nothing for any other target, which is encoded into AVI.
// An MP4 is written in fragments, so that a recording that is killed can be read up to its last
// fragment; a Matroska file starts a cluster at least every second for the same reason.
std::optional<ContainerFormat> CopyContainerFor(const std::string& target);

// Whether the container can hold a stream of the codec as it comes; fails with what it cannot.
Result<> CheckContainerHolds(const ContainerFormat& container, AVCodecID codec);

}  // namespace tovalen::ffmpeg
