#pragma once

#include <filesystem>

namespace tovalen {

// The user's configuration folder of this program: $XDG_CONFIG_HOME/tovalen, else
// ~/.config/tovalen; empty when neither XDG_CONFIG_HOME nor HOME is set. Looked up at each
// call and not created.
std::filesystem::path ConfigFolder();

}  // namespace tovalen
