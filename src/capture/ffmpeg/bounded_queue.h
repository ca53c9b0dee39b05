#pragma once

#include <algorithm>
#include <chrono>
#include <condition_variable>
#include <cstddef>
#include <deque>
#include <mutex>
#include <optional>

namespace tovalen::ffmpeg {

// A first-in first-out queue between two threads that never holds more than its capacity.
// Producers that must not wait use TryPush and count what it refuses; Close ends the stream:
// consumers then get what is left and afterwards nothing.
template <typename T>
class BoundedQueue {
 public:
  explicit BoundedQueue(std::size_t capacity) : m_capacity(capacity) {}

  // For a queue whose items' size is known only once the stream is open.
  void SetCapacity(std::size_t capacity) {
    {
      std::lock_guard lock(m_mutex);
      m_capacity = capacity;
    }
    m_room.notify_all();
  }

  // For a consumer that takes its items in batches (PopPatiently): a push wakes it only once
  // this many wait, or the queue is full.
  void WakeConsumerAt(std::size_t count) {
    std::lock_guard lock(m_mutex);
    m_wakeAt = std::max<std::size_t>(count, 1);
  }

  // Adds the item unless the queue is full or closed; false when it was not added.
  bool TryPush(T& item) {
    bool wake = false;
    {
      std::lock_guard lock(m_mutex);
      if (m_closed || m_items.size() >= m_capacity) return false;
      m_items.push_back(std::move(item));
      wake = Wakes();
    }
    if (wake) m_added.notify_one();
    return true;
  }

  // Waits for room; false when the queue was closed instead.
  bool Push(T item) {
    bool wake = false;
    {
      std::unique_lock lock(m_mutex);
      m_room.wait(lock, [&] { return m_closed || m_items.size() < m_capacity; });
      if (m_closed) return false;
      m_items.push_back(std::move(item));
      wake = Wakes();
    }
    if (wake) m_added.notify_one();
    return true;
  }

  // The next item, waiting for one; nothing once the queue is closed and empty.
  std::optional<T> Pop() {
    std::unique_lock lock(m_mutex);
    m_added.wait(lock, [&] { return m_closed || !m_items.empty(); });
    return TakeFront(lock);
  }

  // As Pop, but while fewer items wait than wake it, it looks for them only every `patience`.
  std::optional<T> PopPatiently(std::chrono::milliseconds patience) {
    std::unique_lock lock(m_mutex);
    while (!m_closed && m_items.empty()) m_added.wait_for(lock, patience, [&] { return m_closed || Wakes(); });
    return TakeFront(lock);
  }

  // As Pop, but gives up after the timeout.
  std::optional<T> PopFor(std::chrono::milliseconds timeout) {
    std::unique_lock lock(m_mutex);
    m_added.wait_for(lock, timeout, [&] { return m_closed || !m_items.empty(); });
    return TakeFront(lock);
  }

  void Close() {
    {
      std::lock_guard lock(m_mutex);
      m_closed = true;
    }
    m_added.notify_all();
    m_room.notify_all();
  }

  bool Full() const {
    std::lock_guard lock(m_mutex);
    return m_items.size() >= m_capacity;
  }

 private:
  bool Wakes() const { return m_items.size() >= std::min(m_wakeAt, m_capacity); }

  std::optional<T> TakeFront(std::unique_lock<std::mutex>& lock) {
    if (m_items.empty()) return std::nullopt;
    std::optional<T> item(std::move(m_items.front()));
    m_items.pop_front();
    lock.unlock();
    m_room.notify_one();
    return item;
  }

  std::size_t m_capacity;
  std::size_t m_wakeAt = 1;
  mutable std::mutex m_mutex;
  // Apart, so that a push wakes one consumer and a pop one waiting producer, not everyone.
  std::condition_variable m_added;
  std::condition_variable m_room;
  std::deque<T> m_items;
  bool m_closed = false;
};

}  // namespace tovalen::ffmpeg
