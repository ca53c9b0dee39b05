#pragma once

#include <chrono>
#include <cstdint>
#include <memory>
#include <mutex>
#include <optional>
#include <string>

namespace tovalen {

// The latest JPEG frame of the capture under way, for a still picture of it: the capture's
// workers offer every frame, and a copy is kept at most every `interval`, so offering costs
// next to nothing. Any thread.
class LatestPicture {
 public:
  explicit LatestPicture(std::chrono::milliseconds interval = std::chrono::milliseconds(250)) : m_interval(interval) {}

  // Whether a frame offered now would be kept; offer only then, to spare the copy.
  bool Wants() const {
    std::lock_guard lock(m_mutex);
    return !m_taken || std::chrono::steady_clock::now() - *m_taken >= m_interval;
  }
  void Offer(const std::uint8_t* data, std::size_t size) {
    auto copy = std::make_shared<const std::string>(reinterpret_cast<const char*>(data), size);
    std::lock_guard lock(m_mutex);
    m_picture = std::move(copy);
    m_taken = std::chrono::steady_clock::now();
  }
  // The capture has ended: its last frame is no longer the picture of anything under way.
  void Clear() {
    std::lock_guard lock(m_mutex);
    m_picture.reset();
    m_taken.reset();
  }
  // The picture, or null when there is none.
  std::shared_ptr<const std::string> Get() const {
    std::lock_guard lock(m_mutex);
    return m_picture;
  }

 private:
  const std::chrono::milliseconds m_interval;
  mutable std::mutex m_mutex;
  std::shared_ptr<const std::string> m_picture;
  std::optional<std::chrono::steady_clock::time_point> m_taken;
};

}  // namespace tovalen
