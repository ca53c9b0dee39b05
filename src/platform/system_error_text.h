#pragma once

#include <string>
#include <string_view>

namespace tovalen {

// The system's own text for an error number ("No space left on device").
std::string SystemErrorText(int errorNumber);

// "what: the system's text for the error number": how every failed system call is told, in
// reports and traces alike.
std::string DescribeSystemError(std::string_view what, int errorNumber);

}  // namespace tovalen
