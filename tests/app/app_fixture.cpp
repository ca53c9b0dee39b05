#include "app_fixture.h"

#include <X11/Xlib.h>
#include <gdk/gdkx.h>
#include <gtk/gtk.h>
#include <wx/listbox.h>
#include <wx/menu.h>

#include <cstdlib>
#include <ostream>

#include "app/capture_panel.h"
#include "app/command_ids.h"
#include "app/main_frame.h"
#include "app/quorvel_doc.h"
#include "app/quorvel_doc_manager.h"
#include "app/quorvel_view.h"
#include "dialogs/dlg_select_cap_device.h"
#include "platform/clock.h"
#include "res/resource_ids.h"
#include "video_cap_test_access.h"

namespace tovalen::testing {

int DialogResponder::Enter(wxDialog* dialog) {
  const std::type_index type(typeid(*dialog));
  m_opened.push_back(type);
  const auto found = m_answers.find(type);
  if (found == m_answers.end()) {
    ADD_FAILURE() << "unexpected dialog " << type.name();
    return wxID_CANCEL;
  }
  return found->second(*dialog);
}

void PrintTo(const CommandState& state, std::ostream* out) {
  *out << (state.enabled ? "enabled" : "disabled") << (state.checked ? ", checked" : "");
}

AppTest::AppTest() { setenv("XDG_CONFIG_HOME", dir.File("config").c_str(), 1); }

AppTest::~AppTest() { Stop(); }

bool AppTest::Start(const std::vector<std::string>& arguments) {
  m_running = App().StartUp(arguments);
  if (!m_running) CVideoCapTestAccess::Destroy();
  return m_running;
}

void AppTest::Stop() {
  if (!m_running) return;
  m_running = false;
  if (CMainFrame* frame = App().MainFrame()) frame->Close(true);
  App().ShutDown();
  CVideoCapTestAccess::Destroy();
}

CQuorvelApp& AppTest::App() const { return *static_cast<CQuorvelApp*>(wxTheApp); }
CMainFrame& AppTest::Frame() const { return *App().MainFrame(); }
CQuorvelDocManager& AppTest::Manager() const { return *App().DocManager(); }
CQuorvelDoc& AppTest::Doc() const { return *Manager().Document(); }
CQuorvelView& AppTest::View() const { return *static_cast<CQuorvelView*>(Doc().GetFirstView()); }

CapturePanel* AppTest::CaptureWindow() const {
  for (wxWindow* child : View().GetViewWindow()->GetChildren()) {
    if (auto* panel = dynamic_cast<CapturePanel*>(child)) return panel;
  }
  return nullptr;
}

void AppTest::Command(int id) const {
  wxCommandEvent event(wxEVT_MENU, id);
  event.SetEventObject(&Frame());
  Frame().ProcessWindowEvent(event);
}

CommandState AppTest::MenuState(int id) const {
  Frame().UpdateWindowUI();
  const wxMenuItem* item = Frame().GetMenuBar()->FindItem(id);
  if (!item) {
    ADD_FAILURE() << "no menu item " << id;
    return {};
  }
  return {item->IsEnabled(), item->IsCheckable() && item->IsChecked()};
}

void AppTest::SelectTestPattern() {
  dialogs.On<CDlgSelectCapDevice>([](CDlgSelectCapDevice& dialog) {
    dialog.InitDialog();
    auto* list = ControlOf<wxListBox>(&dialog, res::IDC_LIST_CAP_DEVICE);
    list->SetSelection(static_cast<int>(list->GetCount()) - 1);
    Click(&dialog, res::IDOK);
    return dialog.GetReturnCode();
  });
  Command(cmd::ID_CAP_SELECT_DEVICE);
}

bool AppTest::RunLoopUntil(const std::function<bool()>& condition, std::chrono::milliseconds limit) {
  const auto deadline = std::chrono::steady_clock::now() + limit;
  // Dispatching rather than yielding, as the program's own loop does: a capture started from
  // here keeps the loop alive as it does in the program.
  while (!condition() && std::chrono::steady_clock::now() < deadline) {
    m_loop.DispatchTimeout(10);
    wxTheApp->ProcessPendingEvents();
  }
  return condition();
}

namespace {

gboolean PressButton(gpointer data) {
  GdkEvent* event = gdk_event_new(GDK_BUTTON_PRESS);
  event->button.window = static_cast<GdkWindow*>(data);  // the event takes the reference
  event->button.button = 1;
  event->button.x = event->button.y = 5;
  event->button.time = GDK_CURRENT_TIME;
  gdk_event_set_device(event, gdk_seat_get_pointer(gdk_display_get_default_seat(gdk_display_get_default())));
  gdk_event_put(event);
  gdk_event_free(event);
  return G_SOURCE_REMOVE;
}

// What a window manager sends for its close box, through the X server.
gboolean SendDeleteWindow(gpointer data) {
  GdkWindow* window = static_cast<GdkWindow*>(data);
  Display* display = GDK_WINDOW_XDISPLAY(window);
  XEvent event{};
  event.xclient.type = ClientMessage;
  event.xclient.window = GDK_WINDOW_XID(window);
  event.xclient.message_type = XInternAtom(display, "WM_PROTOCOLS", False);
  event.xclient.format = 32;
  event.xclient.data.l[0] = static_cast<long>(XInternAtom(display, "WM_DELETE_WINDOW", False));
  event.xclient.data.l[1] = CurrentTime;
  XSendEvent(display, GDK_WINDOW_XID(window), False, NoEventMask, &event);
  XFlush(display);
  g_object_unref(window);
  return G_SOURCE_REMOVE;
}

}  // namespace

void AppTest::ClickCaptureWindowAfter(std::chrono::milliseconds delay) const {
  CapturePanel* panel = CaptureWindow();
  ASSERT_NE(panel, nullptr);
  GdkWindow* window = gtk_widget_get_window(static_cast<GtkWidget*>(panel->GetHandle()));
  ASSERT_NE(window, nullptr);
  g_timeout_add(static_cast<guint>(delay.count()), PressButton, g_object_ref(window));
}

void AppTest::RequestFrameCloseAfter(std::chrono::milliseconds delay) const {
  GdkWindow* window = gtk_widget_get_window(Frame().GetHandle());
  ASSERT_NE(window, nullptr);
  g_timeout_add(static_cast<guint>(delay.count()), SendDeleteWindow, g_object_ref(window));
}

bool AppTest::FrameClosed() const { return !App().MainFrame() || Frame().IsBeingDeleted(); }

}  // namespace tovalen::testing
