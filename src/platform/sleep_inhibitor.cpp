#include "platform/sleep_inhibitor.h"

#include <gio/gio.h>

#include "platform/trace.h"

namespace tovalen {
namespace {

constexpr int kCallTimeoutMs = 5000;

// Its own connection, not the shared bus: the shared one ends the process when the bus goes away.
GDBusConnection* ConnectSystemBus(GError** error) {
  g_autofree gchar* address = g_dbus_address_get_for_bus_sync(G_BUS_TYPE_SYSTEM, nullptr, error);
  if (!address) return nullptr;
  return g_dbus_connection_new_for_address_sync(
      address,
      static_cast<GDBusConnectionFlags>(G_DBUS_CONNECTION_FLAGS_AUTHENTICATION_CLIENT |
                                        G_DBUS_CONNECTION_FLAGS_MESSAGE_BUS_CONNECTION),
      nullptr, nullptr, error);
}

// The lock's descriptor, or -1.
int Inhibit(const std::string& why, GError** error) {
  g_autoptr(GDBusConnection) bus = ConnectSystemBus(error);
  if (!bus) return -1;
  g_autoptr(GUnixFDList) fds = nullptr;
  g_autoptr(GVariant) reply = g_dbus_connection_call_with_unix_fd_list_sync(
      bus, "org.freedesktop.login1", "/org/freedesktop/login1", "org.freedesktop.login1.Manager", "Inhibit",
      g_variant_new("(ssss)", "sleep", "Tovalen", why.c_str(), "block"), G_VARIANT_TYPE("(h)"), G_DBUS_CALL_FLAGS_NONE,
      kCallTimeoutMs, nullptr, &fds, nullptr, error);
  g_dbus_connection_close_sync(bus, nullptr, nullptr);
  if (!reply || !fds) return -1;
  gint32 index = -1;
  g_variant_get(reply, "(h)", &index);
  return g_unix_fd_list_get(fds, index, error);  // a copy of its own; the list closes the rest
}

}  // namespace

void SleepInhibitor::Hold(const std::string& why) {
  if (why == m_why) return;  // held already, or refused: asked again only for a new reason
  m_why = why;
  g_autoptr(GError) error = nullptr;
  const int fd = Inhibit(why, &error);
  if (fd < 0) {
    if (!m_unreachableTraced) {
      Trace(std::string("D: SleepInhibitor logind unreachable: ") + (error ? error->message : "no lock") + "\n");
    }
    m_unreachableTraced = true;
    return;  // a lock held for the previous reason is better than none
  }
  m_fd = FileDescriptor(fd);
  Trace("D: SleepInhibitor " + why + "\n");
}

void SleepInhibitor::Release() {
  m_why.reset();
  m_fd = FileDescriptor();
}

}  // namespace tovalen
