#include "platform/posix_file.h"

#include <fcntl.h>

#include <random>

namespace tovalen {
namespace {

template <typename WriteSome>
bool WriteEvery(std::size_t size, WriteSome writeSome) {
  for (std::size_t done = 0; done < size;) {
    const ssize_t n = RetryOnInterrupt([&] { return writeSome(done); });
    if (n < 0) return false;
    if (n == 0) {
      errno = ENOSPC;
      return false;
    }
    done += static_cast<std::size_t>(n);
  }
  return true;
}

}  // namespace

bool WriteAll(int fd, const void* data, std::size_t size) {
  const auto* bytes = static_cast<const char*>(data);
  return WriteEvery(size, [&](std::size_t done) { return ::write(fd, bytes + done, size - done); });
}

bool WriteAllAt(int fd, const void* data, std::size_t size, off_t offset) {
  const auto* bytes = static_cast<const char*>(data);
  return WriteEvery(size, [&](std::size_t done) {
    return ::pwrite(fd, bytes + done, size - done, offset + static_cast<off_t>(done));
  });
}

std::string FolderOf(const std::string& path) {
  const auto slash = path.find_last_of('/');
  if (slash == std::string::npos) return ".";
  const auto end = path.find_last_not_of('/', slash);
  return end == std::string::npos ? "/" : path.substr(0, end + 1);
}

void SyncFolderOf(const std::string& path) {
  const FileDescriptor folder(::open(FolderOf(path).c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
  if (folder.get() >= 0) ::fsync(folder.get());
}

namespace {

constexpr char kUniqueLetters[] = "abcdefghijklmnopqrstuvwxyzABCDEFGHIJKLMNOPQRSTUVWXYZ0123456789";
constexpr std::size_t kUniqueLetterCount = 6;

}  // namespace

bool HasUniqueFileNameForm(std::string_view name, std::string_view prefix, std::string_view suffix) {
  if (name.size() != prefix.size() + kUniqueLetterCount + suffix.size()) return false;
  if (!name.starts_with(prefix) || !name.ends_with(suffix)) return false;
  const std::string_view letters = name.substr(prefix.size(), kUniqueLetterCount);
  return letters.find_first_not_of(kUniqueLetters) == std::string_view::npos;
}

FileDescriptor CreateUniqueFile(const std::string& prefix, const std::string& suffix, std::string& path) {
  thread_local std::mt19937 random{std::random_device{}()};
  std::uniform_int_distribution<std::size_t> pick(0, sizeof kUniqueLetters - 2);
  for (int attempt = 0; attempt < 100; ++attempt) {
    std::string name = prefix;
    for (std::size_t i = 0; i < kUniqueLetterCount; ++i) name += kUniqueLetters[pick(random)];
    name += suffix;
    FileDescriptor fd(::open(name.c_str(), O_RDWR | O_CREAT | O_EXCL | O_CLOEXEC, 0666));
    if (fd.get() >= 0) path = std::move(name);
    if (fd.get() >= 0 || errno != EEXIST) return fd;
  }
  return FileDescriptor();  // errno is EEXIST
}

}  // namespace tovalen
