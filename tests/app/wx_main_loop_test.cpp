#include "app/wx_main_loop.h"

#include <gmock/gmock.h>
#include <gtk/gtk.h>
#include <wx/evtloop.h>
#include <wx/frame.h>
#include <wx/panel.h>

#include <thread>

namespace tovalen::testing {
namespace {

using namespace std::chrono_literals;

// A shown window on a loop that is running, as during a capture, and input that arrives from
// the display as the user's would.
class WxMainLoopTest : public ::testing::Test {
 protected:
  WxMainLoopTest() {
    panel->Bind(wxEVT_LEFT_DOWN, [this](wxMouseEvent&) { ++clicks; });
    panel->Bind(wxEVT_KEY_DOWN, [this](wxKeyEvent&) { ++keys; });
    frame->Show();
    panel->SetFocus();
    for (int i = 0; i < 20; ++i) eventLoop.YieldFor(wxEVT_CATEGORY_ALL);
  }
  ~WxMainLoopTest() override { frame->Destroy(); }

  void PutButtonPress(unsigned button) {
    GdkEvent* event = gdk_event_new(GDK_BUTTON_PRESS);
    event->button.window = GDK_WINDOW(g_object_ref(gtk_widget_get_window(Widget())));
    event->button.button = button;
    event->button.x = event->button.y = 5;
    event->button.time = GDK_CURRENT_TIME;
    gdk_event_set_device(event, gdk_seat_get_pointer(gdk_display_get_default_seat(gdk_display_get_default())));
    gdk_event_put(event);
    gdk_event_free(event);
  }
  void PutKeyPress(unsigned keyval) {
    GdkEvent* event = gdk_event_new(GDK_KEY_PRESS);
    event->key.window = GDK_WINDOW(g_object_ref(gtk_widget_get_window(Widget())));
    event->key.keyval = keyval;
    event->key.time = GDK_CURRENT_TIME;
    gdk_event_set_device(event, gdk_seat_get_keyboard(gdk_display_get_default_seat(gdk_display_get_default())));
    gdk_event_put(event);
    gdk_event_free(event);
  }
  GtkWidget* Widget() { return static_cast<GtkWidget*>(panel->GetHandle()); }

  wxGUIEventLoop eventLoop;
  wxEventLoopActivator active{&eventLoop};
  wxFrame* frame = new wxFrame(nullptr, wxID_ANY, wxString(), wxPoint(0, 0), wxSize(200, 100));
  wxPanel* panel = new wxPanel(frame);
  WxMainLoop loop;
  int clicks = 0;
  int keys = 0;
};

TEST_F(WxMainLoopTest, TheInputReachesTheWindowWhenNoCaptureRuns) {
  PutButtonPress(1);
  PutKeyPress(GDK_KEY_a);
  eventLoop.YieldFor(wxEVT_CATEGORY_ALL);
  EXPECT_EQ(clicks, 1);
  EXPECT_EQ(keys, 1);
}

TEST_F(WxMainLoopTest, EscapeAndClicksBecomeAbortInputsReportedOnce) {
  PutButtonPress(1);
  loop.PumpAndWait(0ms);
  EXPECT_EQ(loop.TakeAbortInput(), AbortInput::kLeftMouseButton);
  EXPECT_EQ(loop.TakeAbortInput(), AbortInput::kNone);

  PutKeyPress(GDK_KEY_Escape);
  loop.PumpAndWait(0ms);
  EXPECT_EQ(loop.TakeAbortInput(), AbortInput::kEscapeKey);

  PutButtonPress(3);
  loop.PumpAndWait(0ms);
  EXPECT_EQ(loop.TakeAbortInput(), AbortInput::kRightMouseButton);
  EXPECT_EQ(clicks, 0);

  // A question opened during the capture runs a loop of its own: a click there is its answer.
  g_idle_add(
      [](gpointer data) -> gboolean {
        wxPanel* answer = static_cast<wxPanel*>(data);
        wxGUIEventLoop question;
        const wxEventLoopActivator asking(&question);
        wxMouseEvent click(wxEVT_LEFT_DOWN);
        click.SetEventObject(answer);
        answer->GetEventHandler()->ProcessEvent(click);
        return G_SOURCE_REMOVE;
      },
      panel);
  loop.PumpAndWait(0ms);
  EXPECT_EQ(clicks, 1);
  EXPECT_EQ(loop.TakeAbortInput(), AbortInput::kNone);
}

TEST_F(WxMainLoopTest, OtherInputIsDroppedNotReplayedAfterTheCapture) {
  PutKeyPress(GDK_KEY_a);
  loop.PumpAndWait(0ms);
  EXPECT_EQ(loop.TakeAbortInput(), AbortInput::kNone);
  eventLoop.YieldFor(wxEVT_CATEGORY_ALL);  // the capture has returned
  EXPECT_EQ(keys, 0);
}

TEST_F(WxMainLoopTest, WakeEndsTheWaitEarly) {
  std::thread waker([this] {
    std::this_thread::sleep_for(20ms);
    loop.Wake();
  });
  const auto start = std::chrono::steady_clock::now();
  loop.PumpAndWait(10s);
  EXPECT_LT(std::chrono::steady_clock::now() - start, 5s);
  waker.join();

  loop.Wake();  // a wake before the wait ends the next one at once
  const auto again = std::chrono::steady_clock::now();
  loop.PumpAndWait(10s);
  EXPECT_LT(std::chrono::steady_clock::now() - again, 5s);
}

}  // namespace
}  // namespace tovalen::testing
