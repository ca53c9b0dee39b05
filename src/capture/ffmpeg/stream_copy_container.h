#pragma once

#include <optional>
#include <string>
#include <vector>

#include "capture/ffmpeg/avi_writer.h"
#include "capture/ffmpeg/driver_result.h"
#include "capture/ffmpeg/ffmpeg_handles.h"

namespace tovalen::ffmpeg {

// The container a stream is copied into when the target's extension names one: .ts (MPEG-TS),
// .mkv (Matroska) or .mp4, in any case; nothing for any other target, which is encoded into AVI.
// An MP4 is written in fragments, so that a recording that is killed can be read up to its last
// fragment; a Matroska file starts a cluster at least every second for the same reason.
std::optional<ContainerFormat> CopyContainerFor(const std::string& target);

// The extensions a stream is copied into, each with its container, in the order they are offered.
struct CopyTarget {
  const char* extension;
  ContainerFormat container;
};
const std::vector<CopyTarget>& CopyTargets();
// The copy the target's extension names, if any.
std::optional<CopyTarget> CopyTargetFor(const std::string& target);

// Whether the container can hold a stream of the codec as it comes.
bool ContainerHolds(const ContainerFormat& container, AVCodecID codec);
// The same, failing with what it cannot hold.
Result<> CheckContainerHolds(const ContainerFormat& container, AVCodecID codec);

}  // namespace tovalen::ffmpeg
