#include "capture/s_cap_driver_info.h"

namespace tovalen {

std::string SCapDriverInfo::ToString() const { return std::to_string(nIndex) + ", " + strName + ", " + strVersion; }

}  // namespace tovalen
