#include "platform/system_error_text.h"

#include <string.h>

namespace tovalen {

std::string SystemErrorText(int errorNumber) {
  // The GNU strerror_r: safe on the capture's worker threads, the same text as strerror.
  char buffer[256];
  return ::strerror_r(errorNumber, buffer, sizeof buffer);
}

std::string DescribeSystemError(std::string_view what, int errorNumber) {
  return std::string(what) + ": " + SystemErrorText(errorNumber);
}

}  // namespace tovalen
