#include "capture/frame_rate_and_wave_format.h"

#include <array>

namespace tovalen {
namespace {

constexpr std::array<double, 4> kFramesPerSecond = {15.0, 30.0, 12.5, 25.0};
constexpr std::array<std::uint32_t, 4> kSamplesPerSec = {8000, 11025, 22050, 44100};
constexpr std::array<std::uint16_t, 2> kBitsPerSample = {8, 16};
constexpr std::array<std::uint16_t, 2> kChannels = {1, 2};

template <typename T, std::size_t N>
T Choice(const std::array<T, N>& choices, std::int32_t index) {
  if (index < 0 || static_cast<std::size_t>(index) >= N) return choices[0];
  return choices[static_cast<std::size_t>(index)];
}

}  // namespace

std::optional<std::uint32_t> MicroSecPerFrameFor(std::int32_t fpsIndex) {
  if (fpsIndex < 0 || static_cast<std::size_t>(fpsIndex) >= kFramesPerSecond.size()) return std::nullopt;
  // Truncated, not rounded: 30 frames per second ask for 33333 microseconds.
  return static_cast<std::uint32_t>(1'000'000.0 / kFramesPerSecond[static_cast<std::size_t>(fpsIndex)]);
}

SWaveFormat MakeWaveFormat(const SAudioProperty& property) {
  SWaveFormat format;
  format.wFormatTag = 1;
  format.nSamplesPerSec = Choice(kSamplesPerSec, property.nSamplesPerSec);
  format.wBitsPerSample = Choice(kBitsPerSample, property.nPrecision);
  format.nChannels = Choice(kChannels, property.nChannels);
  const std::uint16_t bytesPerSample = format.wBitsPerSample / 8;
  format.nBlockAlign = static_cast<std::uint16_t>(format.nChannels * bytesPerSample);
  format.nAvgBytesPerSec = format.nSamplesPerSec * format.nBlockAlign;
  format.cbSize = 0;
  return format;
}

}  // namespace tovalen
