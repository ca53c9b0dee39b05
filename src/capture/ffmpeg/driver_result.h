#pragma once

#include <new>
#include <optional>
#include <string>
#include <utility>
#include <variant>

#include "capture/stop_reason.h"

namespace tovalen::ffmpeg {

// Why a step of the driver failed: the reason a capture ends with, and for traces what failed,
// with FFmpeg's or the system's own error text and code where there is one.
struct DriverError {
  StopReason reason = StopReason::kWriteFailed;
  std::string detail;
  int errorNumber = 0;  // the system's, where it refused: for a caller that tells it in its own words
};

// "what: FFmpeg's text for the code (error code)".
DriverError AvFailure(StopReason reason, const std::string& what, int code);
// "what: the system's text for errno (errno number)", as the capture's traces tell it.
DriverError SystemFailure(StopReason reason, const std::string& what, int errorNumber);
// "what: the system's text for errno", as reports and messages tell it.
DriverError SystemRefused(StopReason reason, const std::string& what, int errorNumber);

// A value, or the error in its place: what every step of the driver that can fail returns.
// Result<> has no value.
template <typename T = void>
class [[nodiscard]] Result {
 public:
  Result() = default;
  Result(T value) : m_state(std::in_place_index<0>, std::move(value)) {}
  Result(DriverError error) : m_state(std::in_place_index<1>, std::move(error)) {}

  explicit operator bool() const { return m_state.index() == 0; }
  T& operator*() { return std::get<0>(m_state); }
  const T& operator*() const { return std::get<0>(m_state); }
  T* operator->() { return &std::get<0>(m_state); }
  const T* operator->() const { return &std::get<0>(m_state); }
  const DriverError& Error() const { return std::get<1>(m_state); }

 private:
  std::variant<T, DriverError> m_state;
};

template <>
class [[nodiscard]] Result<void> {
 public:
  Result() = default;
  Result(DriverError error) : m_error(std::move(error)) {}

  explicit operator bool() const { return !m_error; }
  const DriverError& Error() const { return *m_error; }

 private:
  std::optional<DriverError> m_error;
};

// The step's result, or its failure for `reason` when memory ran out: the capture then ends as
// a failure instead of taking the process with it.
template <typename Step>
auto FailOnOutOfMemory(StopReason reason, Step&& step) -> decltype(step()) {
  try {
    return step();
  } catch (const std::bad_alloc&) {
    return DriverError{reason, "out of memory"};
  }
}

}  // namespace tovalen::ffmpeg
