#pragma once

#include <string>

#include "platform/clock.h"

namespace tovalen {

class ArchiveReader;
class ArchiveWriter;

// One recording reservation. It keeps the length; the end is derived as start + length.
// The record enforces nothing: the editor and the list refuse bad times and overlaps.
struct SYoyaku {
  Time32 timeStart;         // seconds since 1970-01-01 00:00:00 UTC
  Span32 spanDuration;      // seconds
  std::string strTitle;     // programme title (UTF-8)
  std::string strFileName;  // AVI file to record into (UTF-8)

  // Start = the current time, length 0, the default title and file name.
  SYoyaku();

  Time32 GetEndTime() const { return AddWrapping32(timeStart, spanDuration); }

  // "start ～ end, file, title", times in local time, at most 255 bytes in code page 932.
  std::string GetListText() const;

  // Stores start, end, title, file name; loading derives the length as end - start.
  void Serialize(ArchiveWriter& archive) const;
  void Serialize(ArchiveReader& archive);

  // The start lies strictly before the current second.
  bool IsPast() const;

  // The half-open spans [start, end) of the two reservations share at least one second.
  bool IsOverlapped(const SYoyaku& other) const;

  bool operator==(const SYoyaku&) const = default;
};

// The schedule's order: a starts strictly before b.
bool IsEarlierStart(const SYoyaku& a, const SYoyaku& b);

inline constexpr const char* kDefaultYoyakuTitle = "番組名";
inline constexpr const char* kDefaultYoyakuFileName = "C:\\capture.avi";

// The longest list line, as the fixed 256-byte line buffer allows.
inline constexpr std::size_t kMaxListTextBytes = 255;

}  // namespace tovalen
