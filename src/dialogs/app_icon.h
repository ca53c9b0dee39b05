#pragma once

#include <wx/icon.h>

namespace tovalen {

// The application's icon (resource 128): a clock with a recording light.
wxIcon AppIcon();

}  // namespace tovalen
