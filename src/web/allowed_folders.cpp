#include "web/allowed_folders.h"

#include <fcntl.h>
#include <sys/stat.h>

#include <cerrno>
#include <cstdlib>
#include <memory>
#include <optional>
#include <stdexcept>

#include "web/api_error.h"

namespace tovalen::web {
namespace {

std::optional<std::string> RealPath(const std::string& path) {
  std::unique_ptr<char, decltype(&std::free)> real(::realpath(path.c_str(), nullptr), &std::free);
  if (!real) return std::nullopt;
  return std::string(real.get());
}

bool HasDotSegment(const std::string& path) {
  std::size_t begin = 0;
  while (begin <= path.size()) {
    const std::size_t end = std::min(path.find('/', begin), path.size());
    const std::string_view segment(path.data() + begin, end - begin);
    if (segment == ".." || segment == ".") return true;
    begin = end + 1;
  }
  return false;
}

}  // namespace

AllowedFolders::AllowedFolders(const std::vector<std::string>& folders) {
  for (const std::string& folder : folders) {
    const auto real = RealPath(folder);
    struct stat info {};
    if (!real || ::stat(real->c_str(), &info) != 0 || !S_ISDIR(info.st_mode)) {
      throw std::runtime_error("allowed folder " + folder + " does not exist or is no folder");
    }
    m_folders.push_back(*real);
  }
}

bool AllowedFolders::IsInside(const std::string& realPath) const {
  for (const std::string& folder : m_folders) {
    if (realPath == folder) return true;
    const std::string prefix = folder == "/" ? folder : folder + "/";
    if (realPath.starts_with(prefix)) return true;
  }
  return false;
}

std::string AllowedFolders::ResolveTarget(const std::string& target) const {
  if (target.empty()) throw ApiError(400, "録画ファイルの名前を入れてください。");
  if (target.find('\0') != std::string::npos) throw ApiError(400, "録画ファイルの名前に使えない文字があります。");
  if (HasDotSegment(target)) throw ApiError(403, "「.」や「..」を含むパスは使えません。");
  const std::size_t slash = target.rfind('/');
  if (slash == std::string::npos) return m_folders.front() + "/" + target;
  if (target.front() != '/') throw ApiError(403, "録画ファイルは絶対パスか、ファイル名だけで指定してください。");
  const std::string name = target.substr(slash + 1);
  if (name.empty()) throw ApiError(400, "録画ファイルの名前を入れてください。");
  const std::string folder = slash == 0 ? "/" : target.substr(0, slash);
  const auto realFolder = RealPath(folder);
  if (!realFolder) {
    if (errno == ENOENT || errno == ENOTDIR) throw ApiError(422, "フォルダー " + folder + " がありません。");
    throw ApiError(403, "フォルダー " + folder + " を使えません。");
  }
  if (!IsInside(*realFolder)) throw ApiError(403, "録画ファイルは許可されたフォルダーの中に置いてください。");
  const std::string resolved = (*realFolder == "/" ? "" : *realFolder) + "/" + name;
  struct stat info {};
  if (::lstat(resolved.c_str(), &info) == 0 && !S_ISREG(info.st_mode)) {
    throw ApiError(403,
                   "録画ファイル " + target + " は通常のファイルではありません（リンクやフォルダーには書けません）。");
  }
  return resolved;
}

bool AllowedFolders::Holds(const std::string& path) const {
  struct stat info {};
  if (::lstat(path.c_str(), &info) != 0 || S_ISLNK(info.st_mode)) return false;
  const auto real = RealPath(path);
  return real && IsInside(*real);
}

FileDescriptor AllowedFolders::OpenForDownload(const std::string& path) const {
  if (!Holds(path)) {
    struct stat info {};
    if (::lstat(path.c_str(), &info) != 0) throw ApiError(404, "録画ファイルがありません。");
    throw ApiError(403, "許可されたフォルダーの外のファイルはダウンロードできません。");
  }
  FileDescriptor fd(::open(RealPath(path).value_or(path).c_str(), O_RDONLY | O_NOFOLLOW | O_CLOEXEC | O_NONBLOCK));
  struct stat info {};
  if (fd.get() < 0 || ::fstat(fd.get(), &info) != 0 || !S_ISREG(info.st_mode)) {
    throw ApiError(404, "録画ファイルを開けません。");
  }
  return fd;
}

}  // namespace tovalen::web
