#include "dialogs/app_icon.h"

namespace tovalen {
namespace {
#include "res/icons/tovalen_32.xpm"
}  // namespace

wxIcon AppIcon() { return wxIcon(tovalen_32_xpm); }

}  // namespace tovalen
