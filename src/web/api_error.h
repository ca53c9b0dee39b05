#pragma once

#include <stdexcept>
#include <string>

namespace tovalen::web {

// A request refused: the HTTP status and the Japanese message the page shows.
class ApiError : public std::runtime_error {
 public:
  ApiError(int status, const std::string& message) : std::runtime_error(message), m_status(status) {}
  int Status() const { return m_status; }

 private:
  int m_status;
};

}  // namespace tovalen::web
