#include "platform/derived_file_names.h"

#include <unistd.h>

#include <algorithm>
#include <climits>
#include <filesystem>
#include <string_view>

namespace tovalen {
namespace {

// What the recovery scratch puts in place of the target's extension.
constexpr std::string_view kLongestReplacedTail = ".recovering-XXXXXX.avi";

// Linux file systems' common limit, for a folder that is not there to ask yet.
constexpr long kDefaultNameMax = 255;

}  // namespace

std::size_t NameMaxBeside(const std::string& target) {
  const std::filesystem::path folder = std::filesystem::path(target).parent_path();
  const std::string asked = folder.empty() ? "." : folder.string();
  const long limit = ::pathconf(asked.c_str(), _PC_NAME_MAX);
  return static_cast<std::size_t>(limit > 0 ? limit : kDefaultNameMax);
}

std::size_t LongestDerivedNameBytes(const std::string& fileName) {
  const std::filesystem::path name(fileName);
  return std::max(fileName.size() + kLongestDerivedNameExtraBytes,
                  name.stem().string().size() + kLongestReplacedTail.size());
}

std::size_t LongestTargetNameBytes(const std::string& target) {
  const std::string name = std::filesystem::path(target).filename().string();
  const std::size_t extra = LongestDerivedNameBytes(name) - name.size();
  const std::size_t nameMax = NameMaxBeside(target);
  return nameMax > extra ? nameMax - extra : 0;
}

TargetNameProblem CheckDerivedFileNames(const std::string& target) {
  const std::filesystem::path path(target);
  const std::string name = path.filename().string();
  const std::size_t longestName = LongestDerivedNameBytes(name);
  if (longestName > NameMaxBeside(target)) return TargetNameProblem::kNameTooLong;
  // PATH_MAX counts the terminating zero byte.
  if (target.size() - name.size() + longestName >= PATH_MAX) return TargetNameProblem::kPathTooLong;
  return TargetNameProblem::kNone;
}

}  // namespace tovalen
