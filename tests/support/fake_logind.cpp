#include "support/fake_logind.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <poll.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <csignal>

#include "support/spawn.h"
#include "support/wait_until.h"

namespace tovalen::testing {
namespace {

constexpr const char* kIntrospection =
    "<node><interface name='org.freedesktop.login1.Manager'><method name='Inhibit'>"
    "<arg type='s' name='what' direction='in'/><arg type='s' name='who' direction='in'/>"
    "<arg type='s' name='why' direction='in'/><arg type='s' name='mode' direction='in'/>"
    "<arg type='h' name='pipe_fd' direction='out'/></method></interface></node>";

// Closed when every copy of the pipe's write end is closed.
bool WriteEndClosed(int readEnd) {
  pollfd watched{readEnd, POLLIN, 0};
  return ::poll(&watched, 1, 0) == 1 && (watched.revents & POLLHUP) != 0;
}

// Starts dbus-daemon on the address; its messages go nowhere.
pid_t StartBus(const std::string& address) {
  const pid_t daemon =
      Spawn({"dbus-daemon", "--session", "--nofork", "--nopidfile", "--address=" + address}, "/dev/null", "/dev/null");
  EXPECT_GT(daemon, 0) << "dbus-daemon (Debian dbus) is needed";
  return daemon;
}

// A connection to the bus once it listens (ten seconds at most).
GDBusConnection* Connect(const std::string& address, GError** error) {
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(10);
  while (true) {
    g_clear_error(error);
    GDBusConnection* connection = g_dbus_connection_new_for_address_sync(
        address.c_str(),
        static_cast<GDBusConnectionFlags>(G_DBUS_CONNECTION_FLAGS_AUTHENTICATION_CLIENT |
                                          G_DBUS_CONNECTION_FLAGS_MESSAGE_BUS_CONNECTION),
        nullptr, nullptr, error);
    if (connection || std::chrono::steady_clock::now() > deadline) return connection;
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
  }
}

}  // namespace

FakeLogind::FakeLogind() : m_context(g_main_context_new()) {
  const std::string address = "unix:path=" + m_dir.File("bus");
  m_daemon = StartBus(address);
  ::setenv("DBUS_SYSTEM_BUS_ADDRESS", address.c_str(), 1);

  // Method calls are dispatched in the context current when the object is registered.
  g_main_context_push_thread_default(m_context.get());
  g_autoptr(GError) error = nullptr;
  m_connection.reset(Connect(address, &error));
  g_autoptr(GDBusNodeInfo) node = g_dbus_node_info_new_for_xml(kIntrospection, nullptr);
  static const GDBusInterfaceVTable vtable{OnMethodCall, nullptr, nullptr, {}};
  if (m_connection) {
    g_dbus_connection_register_object(m_connection.get(), "/org/freedesktop/login1", node->interfaces[0], &vtable, this,
                                      nullptr, &error);
    g_autoptr(GVariant) reply = g_dbus_connection_call_sync(
        m_connection.get(), "org.freedesktop.DBus", "/org/freedesktop/DBus", "org.freedesktop.DBus", "RequestName",
        g_variant_new("(su)", "org.freedesktop.login1", 4u), G_VARIANT_TYPE("(u)"), G_DBUS_CALL_FLAGS_NONE, -1, nullptr,
        &error);
  }
  g_main_context_pop_thread_default(m_context.get());
  EXPECT_EQ(error, nullptr) << error->message;

  m_loop.reset(g_main_loop_new(m_context.get(), FALSE));
  m_thread = std::thread([this] {
    g_main_context_push_thread_default(m_context.get());
    g_main_loop_run(m_loop.get());
    g_main_context_pop_thread_default(m_context.get());
  });
}

FakeLogind::~FakeLogind() {
  // Quit from inside the loop: a quit that comes before the thread has started the loop is lost.
  g_main_context_invoke(
      m_context.get(),
      [](gpointer loop) -> gboolean {
        g_main_loop_quit(static_cast<GMainLoop*>(loop));
        return G_SOURCE_REMOVE;
      },
      m_loop.get());
  m_thread.join();
  if (m_connection) g_dbus_connection_close_sync(m_connection.get(), nullptr, nullptr);
  m_connection.reset();
  for (const int readEnd : m_readEnds) ::close(readEnd);
  if (m_daemon > 0) {
    ::kill(m_daemon, SIGTERM);
    ::waitpid(m_daemon, nullptr, 0);
  }
  ::unsetenv("DBUS_SYSTEM_BUS_ADDRESS");
}

void FakeLogind::OnMethodCall(GDBusConnection*, const gchar*, const gchar*, const gchar*, const gchar* method,
                              GVariant* parameters, GDBusMethodInvocation* invocation, gpointer self) {
  if (g_strcmp0(method, "Inhibit") == 0) static_cast<FakeLogind*>(self)->Inhibit(parameters, invocation);
}

void FakeLogind::Inhibit(GVariant* parameters, GDBusMethodInvocation* invocation) {
  const gchar* what = nullptr;
  const gchar* who = nullptr;
  const gchar* why = nullptr;
  const gchar* mode = nullptr;
  g_variant_get(parameters, "(&s&s&s&s)", &what, &who, &why, &mode);
  int ends[2];
  if (::pipe2(ends, O_CLOEXEC) != 0) {
    g_dbus_method_invocation_return_error_literal(invocation, G_IO_ERROR, G_IO_ERROR_FAILED, "pipe");
    return;
  }
  g_autoptr(GUnixFDList) fds = g_unix_fd_list_new();
  g_unix_fd_list_append(fds, ends[1], nullptr);  // a copy: the list closes its own
  ::close(ends[1]);
  {
    const std::lock_guard<std::mutex> lock(m_mutex);
    m_locks.push_back(Lock{what, who, why, mode, true});
    m_readEnds.push_back(ends[0]);
  }
  g_dbus_method_invocation_return_value_with_unix_fd_list(invocation, g_variant_new("(h)", 0), fds);
}

std::vector<FakeLogind::Lock> FakeLogind::Locks() const {
  const std::lock_guard<std::mutex> lock(m_mutex);
  std::vector<Lock> locks = m_locks;
  for (std::size_t i = 0; i < locks.size(); ++i) locks[i].held = !WriteEndClosed(m_readEnds[i]);
  return locks;
}

std::vector<std::string> FakeLogind::HeldWhys() const {
  std::vector<std::string> whys;
  for (const Lock& lock : Locks()) {
    if (lock.held) whys.push_back(lock.why);
  }
  return whys;
}

bool FakeLogind::AwaitHeld(const std::vector<std::string>& whys) const {
  return WaitUntil([&] { return HeldWhys() == whys; }, std::chrono::seconds(10), std::chrono::milliseconds(20));
}

}  // namespace tovalen::testing
