#pragma once

#include <cstddef>
#include <string>

namespace tovalen {

// A recording target "STEM.avi" lends its name to files made beside it: the leftover
// "STEM.recording-XXXXXX.avi" (17 bytes more), the recovery scratch "STEM.recovering-XXXXXX.avi"
// (18 more) and "STEM (recovered 999).avi" (16 more). A new derived name must add no more than
// this, or targets accepted today could not take it.
inline constexpr std::size_t kLongestDerivedNameExtraBytes = 18;

enum class TargetNameProblem {
  kNone,
  kNameTooLong,  // the name, or one derived from it, exceeds the folder's NAME_MAX
  kPathTooLong,  // the whole path, or one derived from it, exceeds PATH_MAX
};

// The bytes of the longest name derived from a target's file name. The scratch names replace
// the extension, so a target with a short extension or none derives a longer name than "+18".
std::size_t LongestDerivedNameBytes(const std::string& fileName);

// NAME_MAX of the folder the target lies in, or 255 while that folder does not exist.
std::size_t NameMaxBeside(const std::string& target);

// The longest file name, in bytes, that a target with this one's extension may have there.
std::size_t LongestTargetNameBytes(const std::string& target);

// Whether the target and every name derived from it fit the file system: NAME_MAX of the
// target's folder (255 while the folder does not exist yet) and PATH_MAX.
TargetNameProblem CheckDerivedFileNames(const std::string& target);

}  // namespace tovalen
