#include <algorithm>

#include "capture/active_runner.h"
#include "capture/frame_rate_and_wave_format.h"
#include "capture/video_cap.h"
#include "platform/trace.h"
#include "schedule/archive.h"

namespace tovalen {
namespace {

// Index entries reserved in the capture file, whatever the frame rate.
constexpr std::uint32_t kIndexSize = 324'000;
// The stop rule ends a recording in the second after its length; the limit comes a second later,
// so that it only ends a capture whose frames stopped coming.
constexpr std::uint32_t kLimitAfterRecordSeconds = 2;

}  // namespace

bool CVideoCap::SetAudioFormat() {
  if (!m_bConnected) {
    Trace("E: SetAudioFormat() !m_bConnected\n");
    return false;
  }
  if (WindowAlive() && m_driver->SetAudioFormat(m_hWndC, MakeWaveFormat(m_audioProperty))) return true;
  Trace("CVideoCap::SetAudioProperty() capSetAudioFormat failed\n");
  return false;
}

bool CVideoCap::SetAudioProperty(const SAudioProperty& property) {
  Trace("D: CVideoCap::SetAudioProperty()\n\t");
  Trace(property.ToString());
  Trace("\n");
  // Stored even when it cannot be applied now: the next wake-up or selection applies it.
  m_audioProperty = property;
  return SetAudioFormat();
}

bool CVideoCap::SetVideoOption() {
  if (!m_bConnected) {
    Trace("E: SetVideoOption() !m_bConnected\n");
    return false;
  }
  auto parms = WindowAlive() ? m_driver->CaptureGetSetup(m_hWndC) : std::nullopt;
  if (!parms) {
    Trace("CVideoCap::SetVideoOption() capCaptureGetSetup failed\n");
    return false;
  }
  // Only the frame period and the index size are ours; every other field goes back as read.
  const auto microSecPerFrame = MicroSecPerFrameFor(m_videoOption.FPS);
  if (!microSecPerFrame) Trace("E: m_videoOption out of range\n");
  parms->dwRequestMicroSecPerFrame = microSecPerFrame.value_or(kFallbackMicroSecPerFrame);
  parms->dwIndexSize = kIndexSize;
  if (!WindowAlive() || !m_driver->CaptureSetSetup(m_hWndC, *parms)) {
    Trace("CVideoCap::SetVideoOption() capCaptureSetSetup failed\n");
    return false;
  }
  return true;
}

std::optional<SCaptureParms> CVideoCap::BoundCaptureByRecordTime() {
  const CActiveRunner* runner = CActiveRunner::GetActive();
  if (!runner || !WindowAlive()) return std::nullopt;
  const std::optional<SCaptureParms> parms = m_driver->CaptureGetSetup(m_hWndC);
  if (!parms) return std::nullopt;
  SCaptureParms bounded = *parms;
  bounded.fLimitEnabled = true;
  bounded.wTimeLimit = static_cast<std::uint32_t>(std::max(runner->GetRecordSeconds(), 0)) + kLimitAfterRecordSeconds;
  if (!m_driver->CaptureSetSetup(m_hWndC, bounded)) return std::nullopt;
  return parms;
}

bool CVideoCap::SetVideoOption(const SVideoOption& option) {
  Trace("D: CVideoCap::SetVideoOption()\t");
  Trace(option.ToString());
  Trace("\n");
  m_videoOption = option;
  return SetVideoOption();
}

SCaptureSettings CVideoCap::GetCaptureSettings() const {
  SCaptureSettings settings;
  settings.videoOption = m_videoOption;
  settings.audioProperty = m_audioProperty;
  settings.iCapDriverId = m_iCapDriverId;
  return settings;
}

void CVideoCap::SetCaptureSettings(const SCaptureSettings& settings) {
  m_videoOption = settings.videoOption;
  m_audioProperty = settings.audioProperty;
  m_iCapDriverId = settings.iCapDriverId;
}

void CVideoCap::Serialize(ArchiveWriter& archive) const { GetCaptureSettings().Serialize(archive); }

void CVideoCap::Serialize(ArchiveReader& archive) {
  // The block reads into a copy and throws when it is incomplete, so a failed read changes
  // nothing here.
  SCaptureSettings loaded;
  loaded.Serialize(archive);
  SetCaptureSettings(loaded);
}

}  // namespace tovalen
