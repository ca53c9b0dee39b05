#include "capture/trace_time_stamp.h"

#include "platform/local_time.h"

namespace tovalen {

std::string CaptureTraceTimeStamp() { return FormatNow("%Y 年 %m 月 %d 日(%A) %H時 %M分 %S秒"); }

}  // namespace tovalen
