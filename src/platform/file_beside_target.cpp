#include "platform/file_beside_target.h"

#include <fcntl.h>
#include <stdio.h>
#include <unistd.h>

#include <vector>

namespace tovalen {
namespace {

// False with errno set when a read or a write failed.
bool CopyBytes(int from, int to) {
  std::vector<char> buffer(1 << 20);
  for (;;) {
    const ssize_t n = RetryOnInterrupt([&] { return ::read(from, buffer.data(), buffer.size()); });
    if (n == 0) return true;
    if (n < 0 || !WriteAll(to, buffer.data(), static_cast<std::size_t>(n))) return false;
  }
}

// The error number, or 0; the copy's own scratch file is gone by the time it returns.
int CopyOverOrError(const std::string& source, const std::string& target) {
  const FileDescriptor from(::open(source.c_str(), O_RDONLY | O_CLOEXEC));
  if (from.get() < 0) return errno;
  FileBesideTarget copy(FolderOf(target) + "/.tovalen-copy-", "");
  if (!copy.Valid()) return errno;
  if (!CopyBytes(from.get(), copy.Fd()) || ::fsync(copy.Fd()) != 0 ||
      ::rename(copy.Path().c_str(), target.c_str()) != 0) {
    return errno;
  }
  copy.Keep();
  SyncFolderOf(target);
  return 0;
}

// Renames without replacing what is there; a hard link where the file system cannot do that.
// The error number, or 0.
int RenameNoReplace(const std::string& from, const std::string& to) {
  if (::renameat2(AT_FDCWD, from.c_str(), AT_FDCWD, to.c_str(), RENAME_NOREPLACE) == 0) return 0;
  if (errno != EINVAL && errno != ENOSYS) return errno;
  if (::link(from.c_str(), to.c_str()) != 0) return errno;
  ::unlink(from.c_str());
  return 0;
}

// Gives a file without a name its first name. The error number, or 0.
int LinkNameless(int fd, const std::string& to) {
  const std::string self = "/proc/self/fd/" + std::to_string(fd);
  return ::linkat(AT_FDCWD, self.c_str(), AT_FDCWD, to.c_str(), AT_SYMLINK_FOLLOW) == 0 ? 0 : errno;
}

template <typename Place>
std::string PlaceAtFreeName(const std::function<std::string(int)>& nameNumbered, int most, Place place) {
  for (int n = 0; n <= most; ++n) {
    std::string name = nameNumbered(n);
    const int error = place(name);
    if (error == 0) return name;
    if (error != EEXIST) {
      errno = error;
      return "";
    }
  }
  errno = EEXIST;
  return "";
}

}  // namespace

FileBesideTarget::FileBesideTarget(const std::string& prefix, const std::string& suffix)
    : m_fd(CreateUniqueFile(prefix, suffix, m_path)) {
  m_made = m_fd.get() >= 0;
}

FileBesideTarget FileBesideTarget::NamelessIn(const std::string& folder, const std::string& prefix,
                                              const std::string& suffix) {
  FileBesideTarget file;
  file.m_fd = FileDescriptor(::open(folder.c_str(), O_TMPFILE | O_RDWR | O_CLOEXEC, 0666));
  file.m_made = file.m_fd.get() >= 0;
  if (file.m_made || (errno != EOPNOTSUPP && errno != EISDIR && errno != ENOENT)) return file;
  return FileBesideTarget(prefix, suffix);
}

FileBesideTarget::FileBesideTarget(FileBesideTarget&& other) noexcept
    : m_made(other.m_made),
      m_remove(std::exchange(other.m_remove, false)),
      m_path(std::move(other.m_path)),
      m_fd(std::move(other.m_fd)) {}

FileBesideTarget::~FileBesideTarget() {
  m_fd = FileDescriptor();
  if (m_remove && !m_path.empty()) ::unlink(m_path.c_str());
}

bool FileBesideTarget::Close() { return m_fd.get() < 0 || m_fd.Close() == 0; }

bool FileBesideTarget::Remove() {
  if (::unlink(m_path.c_str()) != 0) return false;
  m_path.clear();
  return true;
}

bool FileBesideTarget::ReplaceTarget(const std::string& target) {
  if (::rename(m_path.c_str(), target.c_str()) != 0) {
    if (errno != EXDEV || !CopyOver(m_path, target)) return false;
    ::unlink(m_path.c_str());
  }
  m_path = target;
  m_remove = false;
  return true;
}

std::string FileBesideTarget::TakeFreeName(const std::function<std::string(int)>& nameNumbered, int most) {
  std::string placed;
  if (m_path.empty()) {
    placed = PlaceAtFreeName(nameNumbered, most, [this](const std::string& name) { return LinkNameless(Fd(), name); });
  } else {
    placed = RenameToFreeName(m_path, nameNumbered, most);
  }
  if (placed.empty()) return placed;
  m_path = placed;
  m_remove = false;
  return placed;
}

std::string RenameToFreeName(const std::string& from, const std::function<std::string(int)>& nameNumbered, int most) {
  return PlaceAtFreeName(nameNumbered, most, [&from](const std::string& name) { return RenameNoReplace(from, name); });
}

bool CopyOver(const std::string& source, const std::string& target) {
  const int error = CopyOverOrError(source, target);
  if (error != 0) errno = error;
  return error == 0;
}

}  // namespace tovalen
