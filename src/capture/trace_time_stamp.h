#pragma once

#include <string>

namespace tovalen {

// The current local time as capture traces show it: "%Y 年 %m 月 %d 日(%A) %H時 %M分 %S秒".
std::string CaptureTraceTimeStamp();

}  // namespace tovalen
