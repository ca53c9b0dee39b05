#pragma once

#include <cstdint>
#include <string>

namespace tovalen {

class ArchiveReader;
class ArchiveWriter;

// Audio format choices: each field is the zero-based position of a radio button in the
// audio settings dialog, turned into a physical value only when applied to the device.
struct SAudioProperty {
  std::int32_t nSamplesPerSec = 3;  // 0 = 8 kHz, 1 = 11.025 kHz, 2 = 22.05 kHz, 3 = 44.1 kHz
  std::int32_t nPrecision = 1;      // 0 = 8 bits, 1 = 16 bits
  std::int32_t nChannels = 1;       // 0 = mono, 1 = stereo

  std::string ToString() const;
  void Serialize(ArchiveWriter& archive) const;
  void Serialize(ArchiveReader& archive);

  bool operator==(const SAudioProperty&) const = default;
};

// Capture set-up choices.
struct SVideoOption {
  std::int32_t FPS = 1;            // 0 = 15, 1 = 30, 2 = 12.5, 3 = 25 frames per second
  bool PersistentConnect = false;  // keep the device connected between reservations

  std::string ToString() const;
  void Serialize(ArchiveWriter& archive) const;
  void Serialize(ArchiveReader& archive);

  bool operator==(const SVideoOption&) const = default;
};

// The 24-byte capture settings block at the head of a .yyk file: the video option, the audio
// property and the selected driver index. The capture controller owns these values and stores
// them through this block.
struct SCaptureSettings {
  SVideoOption videoOption;
  SAudioProperty audioProperty;
  std::int32_t iCapDriverId = -1;  // -1: no device selected

  void Serialize(ArchiveWriter& archive) const;
  void Serialize(ArchiveReader& archive);

  bool operator==(const SCaptureSettings&) const = default;
};

}  // namespace tovalen
