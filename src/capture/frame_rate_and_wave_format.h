#pragma once

#include <cstdint>
#include <optional>

#include "capture/capture_driver_records.h"
#include "schedule/capture_settings.h"

namespace tovalen {

// The physical values behind the choice positions of the settings records.

// Microseconds per frame for a frame-rate choice (0 = 15, 1 = 30, 2 = 12.5, 3 = 25 frames per
// second): 1,000,000 / rate, truncated. Nothing for a position outside 0 to 3.
std::optional<std::uint32_t> MicroSecPerFrameFor(std::int32_t fpsIndex);

// Used when the frame-rate choice is out of range: 15 frames per second.
inline constexpr std::uint32_t kFallbackMicroSecPerFrame = 66666;

// The PCM format for the audio choices. A position outside its range takes the first choice
// (8 kHz, 8 bits, mono) for that field only.
SWaveFormat MakeWaveFormat(const SAudioProperty& property);

}  // namespace tovalen
