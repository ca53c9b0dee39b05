#pragma once

#include <chrono>
#include <memory>

#include "capture/ffmpeg/device_catalog.h"
#include "capture/target_check.h"

namespace tovalen::ffmpeg {

// A target ending in .ts, .mkv or .mp4 is a copy of a network stream into that container: such a
// target is refused for any other device, and for a stream whose picture or sound the container
// cannot hold. A stream that cannot be reached now is accepted with a warning: it may be up at
// its time. Other targets, and indices with no device, are left to the recording.
class StreamTargetCheck : public RecordingTargetCheck {
 public:
  explicit StreamTargetCheck(std::shared_ptr<DeviceCatalog> catalog,
                             std::chrono::milliseconds probeLimit = std::chrono::seconds(5))
      : m_catalog(std::move(catalog)), m_probeLimit(probeLimit) {}

  TargetCheckAnswer Check(std::int32_t deviceIndex, const std::string& target) const override;

 private:
  std::shared_ptr<DeviceCatalog> m_catalog;
  std::chrono::milliseconds m_probeLimit;
};

}  // namespace tovalen::ffmpeg
