#include "web/password_file.h"

#include <sodium.h>
#include <sys/stat.h>

#include <array>
#include <cerrno>
#include <cstring>
#include <stdexcept>

#include "platform/atomic_file.h"
#include "platform/config_folder.h"

namespace tovalen::web {
namespace {

void InitialiseSodium() {
  if (sodium_init() < 0) throw std::runtime_error("libsodium cannot be initialised");
}

}  // namespace

std::filesystem::path PasswordFilePath() {
  const std::filesystem::path folder = ConfigFolder();
  return folder.empty() ? folder : folder / "serve-password";
}

void StorePassword(const std::filesystem::path& file, const std::string& password) {
  InitialiseSodium();
  if (password.empty()) throw std::runtime_error("the password is empty");
  std::array<char, crypto_pwhash_STRBYTES> hash{};
  if (crypto_pwhash_str(hash.data(), password.data(), password.size(), crypto_pwhash_OPSLIMIT_INTERACTIVE,
                        crypto_pwhash_MEMLIMIT_INTERACTIVE) != 0) {
    throw std::runtime_error("out of memory while hashing the password");
  }
  std::error_code error;
  std::filesystem::create_directories(file.parent_path(), error);
  if (error) throw std::runtime_error("cannot create " + file.parent_path().string() + ": " + error.message());
  // Written 0600 from the start (the scratch file is made so) and kept so.
  try {
    WriteFileAtomically(file.string(), std::string(hash.data()) + "\n");
  } catch (const FileError& failure) {
    throw std::runtime_error(failure.what());
  }
  if (::chmod(file.c_str(), 0600) != 0) {
    throw std::runtime_error("cannot make " + file.string() + " private: " + std::strerror(errno));
  }
}

std::optional<std::string> LoadPasswordHash(const std::filesystem::path& file) {
  struct stat info {};
  if (::stat(file.c_str(), &info) != 0) {
    if (errno == ENOENT) return std::nullopt;
    throw std::runtime_error("cannot read " + file.string() + ": " + std::strerror(errno));
  }
  if ((info.st_mode & 077) != 0) {
    throw std::runtime_error(file.string() + " is readable by others; run tovalen-rec serve-password again");
  }
  std::string text;
  try {
    text = ReadWholeFile(file.string(), crypto_pwhash_STRBYTES + 2);
  } catch (const FileError& failure) {
    throw std::runtime_error(failure.what());
  }
  while (!text.empty() && (text.back() == '\n' || text.back() == '\r')) text.pop_back();
  if (text.empty()) throw std::runtime_error(file.string() + " holds no password hash");
  return text;
}

bool VerifyPassword(const std::string& hash, const std::string& password) {
  InitialiseSodium();
  return crypto_pwhash_str_verify(hash.c_str(), password.data(), password.size()) == 0;
}

std::string RandomToken() {
  InitialiseSodium();
  std::array<unsigned char, 32> bytes{};
  randombytes_buf(bytes.data(), bytes.size());
  std::array<char, 64> text{};
  sodium_bin2base64(text.data(), text.size(), bytes.data(), bytes.size(), sodium_base64_VARIANT_URLSAFE_NO_PADDING);
  return text.data();
}

}  // namespace tovalen::web
