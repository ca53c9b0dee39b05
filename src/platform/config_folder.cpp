#include "platform/config_folder.h"

#include <cstdlib>

namespace tovalen {

std::filesystem::path ConfigFolder() {
  if (const char* config = std::getenv("XDG_CONFIG_HOME"); config && *config)
    return std::filesystem::path(config) / "tovalen";
  if (const char* home = std::getenv("HOME"); home && *home) return std::filesystem::path(home) / ".config" / "tovalen";
  return {};
}

}  // namespace tovalen
