#pragma once

#include <gio/gio.h>
#include <sys/types.h>

#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "support/temp_dir.h"

namespace tovalen::testing {

// A private D-Bus bus (its own dbus-daemon) standing in for the system bus, with a fake
// org.freedesktop.login1 on it. Each lock it hands out is the write end of a pipe whose
// read end it keeps, so it sees the lock released when the client has closed every copy.
class FakeLogind {
 public:
  struct Lock {
    std::string what, who, why, mode;
    bool held = false;
  };

  FakeLogind();  // points DBUS_SYSTEM_BUS_ADDRESS at the private bus
  ~FakeLogind();
  FakeLogind(const FakeLogind&) = delete;
  FakeLogind& operator=(const FakeLogind&) = delete;

  // Every lock handed out, in order.
  std::vector<Lock> Locks() const;
  // The reasons of the locks held now.
  std::vector<std::string> HeldWhys() const;
  // Waits (ten seconds at most) until the locks held are those with these reasons: the last
  // copies of a released descriptor may still be on their way through the bus.
  bool AwaitHeld(const std::vector<std::string>& whys) const;

 private:
  static void OnMethodCall(GDBusConnection*, const gchar*, const gchar*, const gchar*, const gchar* method,
                           GVariant* parameters, GDBusMethodInvocation* invocation, gpointer self);
  void Inhibit(GVariant* parameters, GDBusMethodInvocation* invocation);

  struct ObjectUnref {
    void operator()(gpointer object) const { g_object_unref(object); }
  };
  struct ContextUnref {
    void operator()(GMainContext* context) const { g_main_context_unref(context); }
  };
  struct LoopUnref {
    void operator()(GMainLoop* loop) const { g_main_loop_unref(loop); }
  };

  TempDir m_dir;
  pid_t m_daemon = -1;
  std::unique_ptr<GMainContext, ContextUnref> m_context;
  std::unique_ptr<GMainLoop, LoopUnref> m_loop;
  std::unique_ptr<GDBusConnection, ObjectUnref> m_connection;
  std::thread m_thread;
  mutable std::mutex m_mutex;
  std::vector<Lock> m_locks;
  std::vector<int> m_readEnds;  // one per lock
};

}  // namespace tovalen::testing
