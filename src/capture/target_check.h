#pragma once

#include <cstdint>
#include <string>

namespace tovalen {

// What a reservation's target comes to on the device it will be recorded from, decided when the
// reservation is entered rather than when it starts.
struct TargetCheckAnswer {
  std::string refusal;  // empty: accepted; otherwise why not, as the editor shows it
  std::string warning;  // accepted, but the caller shows this (what could not be checked now)

  bool Accepted() const { return refusal.empty(); }
};

// Whether the device at an index can be recorded into a target. A network stream is looked at,
// which may take a few seconds.
class RecordingTargetCheck {
 public:
  virtual ~RecordingTargetCheck() = default;
  virtual TargetCheckAnswer Check(std::int32_t deviceIndex, const std::string& target) const = 0;
};

}  // namespace tovalen
