#pragma once

#include <filesystem>
#include <optional>
#include <string>

namespace tovalen::web {

// The web interface's password, kept only as a salted Argon2 hash in the configuration folder,
// readable by the user alone (0600).
std::filesystem::path PasswordFilePath();

// Hashes and stores the password; throws std::runtime_error when it cannot be written.
void StorePassword(const std::filesystem::path& file, const std::string& password);
// The stored hash, or nothing when there is no password file. Throws std::runtime_error when the
// file exists but cannot be read, or is readable by others.
std::optional<std::string> LoadPasswordHash(const std::filesystem::path& file);
// Whether the password matches the hash; constant in time for a given hash.
bool VerifyPassword(const std::string& hash, const std::string& password);

// 32 random bytes as 43 characters of base64url, for session ids and CSRF tokens.
std::string RandomToken();

}  // namespace tovalen::web
