#include "schedule/capture_settings.h"

#include "platform/trace.h"
#include "schedule/archive.h"

namespace tovalen {
namespace {

void TraceAudioProperty(const SAudioProperty& property) {
  Trace("D: SAudioProperty::SetAudioProperty()\n\t");
  Trace(property.ToString());
  Trace("\n");
}

}  // namespace

std::string SAudioProperty::ToString() const {
  return "nSamplesPerSec = " + std::to_string(nSamplesPerSec) + ", nPrecision = " + std::to_string(nPrecision) +
         ", nChannels = " + std::to_string(nChannels);
}

void SAudioProperty::Serialize(ArchiveWriter& archive) const {
  TraceAudioProperty(*this);
  archive.WriteInt32(nSamplesPerSec);
  archive.WriteInt32(nPrecision);
  archive.WriteInt32(nChannels);
}

void SAudioProperty::Serialize(ArchiveReader& archive) {
  // Read into a copy so a truncated block leaves this record as it was.
  SAudioProperty loaded;
  loaded.nSamplesPerSec = archive.ReadInt32();
  loaded.nPrecision = archive.ReadInt32();
  loaded.nChannels = archive.ReadInt32();
  *this = loaded;
  TraceAudioProperty(*this);
}

std::string SVideoOption::ToString() const {
  return "FPS = " + std::to_string(FPS) + ", PersistentConnect = " + (PersistentConnect ? "1" : "0");
}

void SVideoOption::Serialize(ArchiveWriter& archive) const {
  archive.WriteInt32(FPS);
  archive.WriteInt32(PersistentConnect ? 1 : 0);
}

void SVideoOption::Serialize(ArchiveReader& archive) {
  const std::int32_t fps = archive.ReadInt32();
  const std::int32_t persistent = archive.ReadInt32();
  FPS = fps;
  PersistentConnect = persistent == 1;  // only 1 means true; 2 or -1 load as false
}

void SCaptureSettings::Serialize(ArchiveWriter& archive) const {
  videoOption.Serialize(archive);
  audioProperty.Serialize(archive);
  archive.WriteInt32(iCapDriverId);
}

void SCaptureSettings::Serialize(ArchiveReader& archive) {
  SCaptureSettings loaded;
  loaded.videoOption.Serialize(archive);
  loaded.audioProperty.Serialize(archive);
  loaded.iCapDriverId = archive.ReadInt32();
  *this = loaded;
}

}  // namespace tovalen
