#include "capture/ffmpeg/stream_packet_buffer.h"

namespace tovalen::ffmpeg {

void StreamPacketBuffer::Push(AVMediaType type, StreamPacket packet, std::int64_t nowUs) {
  std::lock_guard lock(m_mutex);
  for (auto* queue : {&m_video, &m_audio}) {
    while (!queue->empty() && queue->front().dueUs < nowUs - kUnreadUs) {
      m_bytes -= static_cast<std::size_t>(queue->front().packet->size);
      queue->pop_front();
    }
  }
  std::deque<StreamPacket>& queue = Queue(type);
  m_bytes += static_cast<std::size_t>(packet.packet->size);
  queue.push_back(std::move(packet));
  while (!queue.empty() && queue.back().dueUs - queue.front().dueUs > kMaxSpanUs) DropOldest(queue);
  while (m_bytes > kMaxBytes)
    DropOldest(m_video.empty() || (!m_audio.empty() && m_audio.front().dueUs < m_video.front().dueUs) ? m_audio
                                                                                                      : m_video);
}

void StreamPacketBuffer::DropOldest(std::deque<StreamPacket>& queue) {
  m_bytes -= static_cast<std::size_t>(queue.front().packet->size);
  queue.pop_front();
  ++m_dropped;
}

std::optional<StreamPacket> StreamPacketBuffer::TakeDue(AVMediaType type, std::int64_t nowUs) {
  std::lock_guard lock(m_mutex);
  std::deque<StreamPacket>& queue = Queue(type);
  if (queue.empty() || queue.front().dueUs > nowUs) return std::nullopt;
  StreamPacket taken = std::move(queue.front());
  queue.pop_front();
  m_bytes -= static_cast<std::size_t>(taken.packet->size);
  return taken;
}

std::optional<std::pair<AVMediaType, StreamPacket>> StreamPacketBuffer::TakeOldest() {
  std::lock_guard lock(m_mutex);
  if (m_video.empty() && m_audio.empty()) return std::nullopt;
  const bool video = m_audio.empty() || (!m_video.empty() && m_video.front().dueUs <= m_audio.front().dueUs);
  std::deque<StreamPacket>& queue = video ? m_video : m_audio;
  StreamPacket taken = std::move(queue.front());
  queue.pop_front();
  m_bytes -= static_cast<std::size_t>(taken.packet->size);
  return std::pair{video ? AVMEDIA_TYPE_VIDEO : AVMEDIA_TYPE_AUDIO, std::move(taken)};
}

std::uint64_t StreamPacketBuffer::Dropped() const {
  std::lock_guard lock(m_mutex);
  return m_dropped;
}

}  // namespace tovalen::ffmpeg
