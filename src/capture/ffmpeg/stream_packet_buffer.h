#pragma once

#include <cstdint>
#include <deque>
#include <memory>
#include <mutex>
#include <optional>
#include <utility>

#include "capture/ffmpeg/ffmpeg_handles.h"

namespace tovalen::ffmpeg {

// A packet as a stream session keeps it until its time comes: its timestamps are on the steady
// clock already (microseconds).
struct StreamPacket {
  PacketPtr packet;
  std::int64_t dueUs = 0;
  std::uint64_t connection = 0;                         // which connection brought it
  std::shared_ptr<const AVCodecParameters> parameters;  // of its stream on that connection
};

// The picture's and the sound's packets waiting for their time, between the session's reading
// thread and its readers. Bounded in bytes and in seconds: past either, the oldest packet goes
// and is counted. A packet nobody took long after its time (a sound no one records) goes
// without counting, so an unread stream costs nothing.
class StreamPacketBuffer {
 public:
  static constexpr std::size_t kMaxBytes = 64 << 20;
  static constexpr std::int64_t kMaxSpanUs = 30'000'000;
  static constexpr std::int64_t kUnreadUs = 3'000'000;

  void Push(AVMediaType type, StreamPacket packet, std::int64_t nowUs);
  // The oldest packet of the type once its time has come.
  std::optional<StreamPacket> TakeDue(AVMediaType type, std::int64_t nowUs);
  // The oldest packet of either type, due or not, and its type.
  std::optional<std::pair<AVMediaType, StreamPacket>> TakeOldest();
  // Packets that went because the buffer was full.
  std::uint64_t Dropped() const;

 private:
  std::deque<StreamPacket>& Queue(AVMediaType type) { return type == AVMEDIA_TYPE_VIDEO ? m_video : m_audio; }
  void DropOldest(std::deque<StreamPacket>& queue);

  mutable std::mutex m_mutex;
  std::deque<StreamPacket> m_video;
  std::deque<StreamPacket> m_audio;
  std::size_t m_bytes = 0;
  std::uint64_t m_dropped = 0;
};

}  // namespace tovalen::ffmpeg
