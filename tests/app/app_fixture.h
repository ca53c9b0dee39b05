#pragma once

#include <gmock/gmock.h>
#include <wx/dialog.h>
#include <wx/evtloop.h>
#include <wx/modalhook.h>

#include <chrono>
#include <functional>
#include <map>
#include <string>
#include <typeindex>
#include <vector>

#include "app/quorvel_app.h"
#include "support/dialog_driver.h"
#include "support/reservation.h"
#include "support/temp_dir.h"

namespace tovalen {

class CMainFrame;
class CQuorvelDoc;
class CQuorvelDocManager;
class CQuorvelView;
class CapturePanel;

namespace testing {

// Answers the modal dialogs the program opens, by their class, instead of showing them. A
// dialog without an answer fails the test and is cancelled.
class DialogResponder : public wxModalDialogHook {
 public:
  using Answer = std::function<int(wxDialog&)>;

  DialogResponder() { Register(); }

  template <class Dialog>
  void On(std::function<int(Dialog&)> answer) {
    m_answers[typeid(Dialog)] = [answer](wxDialog& dialog) { return answer(static_cast<Dialog&>(dialog)); };
  }
  // The classes of the dialogs opened so far, in order.
  const std::vector<std::type_index>& Opened() const { return m_opened; }

 protected:
  int Enter(wxDialog* dialog) override;

 private:
  std::map<std::type_index, Answer> m_answers;
  std::vector<std::type_index> m_opened;
};

// What a command's update rule says.
struct CommandState {
  bool enabled = true;
  bool checked = false;
  bool operator==(const CommandState&) const = default;
};
void PrintTo(const CommandState& state, std::ostream* out);

// The real application, started by each test in a configuration folder of its own and with a
// fresh capture controller on the FFmpeg driver; its message boxes are answered and recorded.
class AppTest : public ::testing::Test {
 protected:
  AppTest();
  ~AppTest() override;

  // Runs the start-up steps with these command-line arguments. A test may start again after Stop.
  bool Start(const std::vector<std::string>& arguments = {});
  // Closes the main window as the window manager's close box does, ends the application and
  // lets go of the capture controller.
  void Stop();

  CQuorvelApp& App() const;
  CMainFrame& Frame() const;
  CQuorvelDocManager& Manager() const;
  CQuorvelDoc& Doc() const;
  CQuorvelView& View() const;
  // The capture window inside the view, or null.
  CapturePanel* CaptureWindow() const;

  // The command as a click on its menu item or toolbar button sends it.
  void Command(int id) const;
  // What the menu item shows after the menus were brought up to date.
  CommandState MenuState(int id) const;
  // Chooses the test-pattern device (always the last one listed) through the view's command.
  void SelectTestPattern();

  // Runs the event loop until the condition holds or the time is up; whether it held.
  bool RunLoopUntil(const std::function<bool()>& condition, std::chrono::milliseconds limit);
  // A left click on the capture window after the delay, made by the display server's side of
  // the loop, so that it also arrives while a capture holds the loop.
  void ClickCaptureWindowAfter(std::chrono::milliseconds delay) const;
  // A close request to the main window after the delay, as the window manager's close box sends
  // it; it arrives also while a capture holds the loop.
  void RequestFrameCloseAfter(std::chrono::milliseconds delay) const;
  // Whether the main window has closed (it goes away once the loop is idle).
  bool FrameClosed() const;

  TempDir dir;
  MessageBoxRecorder boxes;
  DialogResponder dialogs;

 private:
  wxGUIEventLoop m_loop;
  wxEventLoopActivator m_active{&m_loop};
  bool m_running = false;
};

}  // namespace testing
}  // namespace tovalen
