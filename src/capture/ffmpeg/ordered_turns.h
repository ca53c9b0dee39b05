#pragma once

#include <condition_variable>
#include <cstdint>
#include <mutex>

namespace tovalen::ffmpeg {

// Lets workers that finish out of order hand on their results in order: turn n waits until
// turns 0 to n - 1 are done. Every turn must be done once, or the later ones wait forever.
class OrderedTurns {
 public:
  void Wait(std::uint64_t turn) {
    std::unique_lock lock(m_mutex);
    m_changed.wait(lock, [&] { return m_next == turn; });
  }

  void Done() {
    {
      std::lock_guard lock(m_mutex);
      ++m_next;
    }
    m_changed.notify_all();
  }

 private:
  std::mutex m_mutex;
  std::condition_variable m_changed;
  std::uint64_t m_next = 0;
};

}  // namespace tovalen::ffmpeg
