#include "app/display_loss_watch.h"

#include <X11/Xlib.h>
#include <gdk/gdkx.h>

#include <cstdlib>

#include "platform/trace.h"

namespace tovalen {
namespace {

// Xlib's handlers are process-wide; only the user-interface thread talks to the display.
std::function<bool()> g_onLost;
Display* g_display = nullptr;
XIOErrorHandler g_previousHandler = nullptr;

// Replaces the toolkit's handler, which ends the process itself.
int OnIoError(Display*) {
  Trace("E: the connection to the display was lost\n");
  return 0;
}

// Xlib ends the process when this returns only if it is the default; ours keeps it for the
// capture to finish, then the program ends itself.
void OnIoErrorExit(Display*, void*) {
  if (!g_onLost || !g_onLost()) std::_Exit(1);
}

}  // namespace

DisplayLossWatch::DisplayLossWatch(std::function<bool()> onLost) {
  GdkDisplay* display = gdk_display_get_default();
  if (!display || !GDK_IS_X11_DISPLAY(display)) return;
  g_onLost = std::move(onLost);
  g_display = gdk_x11_display_get_xdisplay(display);
  g_previousHandler = XSetIOErrorHandler(OnIoError);
  XSetIOErrorExitHandler(g_display, OnIoErrorExit, nullptr);
}

DisplayLossWatch::~DisplayLossWatch() {
  if (!g_display) return;
  XSetIOErrorHandler(g_previousHandler);
  XSetIOErrorExitHandler(g_display, nullptr, nullptr);
  g_onLost = nullptr;
  g_display = nullptr;
}

}  // namespace tovalen
