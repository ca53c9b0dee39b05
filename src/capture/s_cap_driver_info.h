#pragma once

#include <cstdint>
#include <string>

namespace tovalen {

// One installed capture driver, found at nIndex by the last enumeration.
struct SCapDriverInfo {
  std::int32_t nIndex = -1;
  std::string strName;     // at most 79 bytes
  std::string strVersion;  // at most 79 bytes

  // "nIndex, strName, strVersion"
  std::string ToString() const;

  bool operator==(const SCapDriverInfo&) const = default;
};

}  // namespace tovalen
