#include "app/close_box_watch.h"

#include <gdk/gdkx.h>
#include <gtk/gtk.h>
#include <wx/toplevel.h>

// Declares the hook on events as they come off the wire, ahead of GDK's own handling of the close
// box, which no GDK filter can precede. Last: its macros (min, max, Data) break other headers.
#include <X11/Xlibint.h>

namespace tovalen {
namespace {

using WireToEvent = Bool (*)(Display*, XEvent*, xEvent*);

CloseBoxWatch* g_watch = nullptr;
Display* g_display = nullptr;
WireToEvent g_previous = nullptr;

}  // namespace

struct CloseBoxWatchCallbacks {
  // Runs inside Xlib with the display locked: it may neither call Xlib nor run the program's
  // code beyond the question whether the close is wanted.
  static Bool OnClientMessage(Display* display, XEvent* event, xEvent* wire) {
    const Bool kept = g_previous(display, event, wire);
    if (!kept || !g_watch || event->xclient.format != 32) return kept;
    CloseBoxWatch& watch = *g_watch;
    if (!watch.Takes(event->xclient.window, event->xclient.message_type, event->xclient.data.l[0])) return kept;
    if (watch.m_pending == 0) watch.m_pending = g_idle_add(Run, &watch);
    return False;  // not queued: GDK never sees it
  }

  static gboolean Run(gpointer data) {
    auto* watch = static_cast<CloseBoxWatch*>(data);
    watch->m_pending = 0;
    watch->m_onClose();
    return G_SOURCE_REMOVE;
  }
};

CloseBoxWatch::CloseBoxWatch(wxTopLevelWindow& window, std::function<bool()> wanted, std::function<void()> onClose)
    : m_window(window), m_wanted(std::move(wanted)), m_onClose(std::move(onClose)) {
  GdkDisplay* display = gdk_display_get_default();
  if (g_watch || !display || !GDK_IS_X11_DISPLAY(display)) return;
  m_protocolsAtom = gdk_x11_get_xatom_by_name_for_display(display, "WM_PROTOCOLS");
  m_deleteWindowAtom = gdk_x11_get_xatom_by_name_for_display(display, "WM_DELETE_WINDOW");
  g_display = gdk_x11_display_get_xdisplay(display);
  g_watch = this;
  g_previous = XESetWireToEvent(g_display, ClientMessage, &CloseBoxWatchCallbacks::OnClientMessage);
}

CloseBoxWatch::~CloseBoxWatch() {
  if (m_pending != 0) g_source_remove(m_pending);
  if (g_watch != this) return;
  XESetWireToEvent(g_display, ClientMessage, g_previous);
  g_watch = nullptr;
  g_display = nullptr;
}

bool CloseBoxWatch::Takes(unsigned long window, unsigned long messageType, long protocol) const {
  if (messageType != m_protocolsAtom || static_cast<unsigned long>(protocol) != m_deleteWindowAtom) return false;
  GdkWindow* own = gtk_widget_get_window(static_cast<GtkWidget*>(m_window.GetHandle()));
  return own && GDK_IS_X11_WINDOW(own) && window == GDK_WINDOW_XID(own) && m_wanted();
}

}  // namespace tovalen
