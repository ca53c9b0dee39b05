#include "app/wx_main_loop.h"

#include <wx/event.h>
#include <wx/eventfilter.h>
#include <wx/evtloop.h>

namespace tovalen {

// Watches every event wx handles while it is installed.
class WxMainLoop::InputCatcher : public wxEventFilter {
 public:
  explicit InputCatcher(AbortInput& abort) : m_abort(abort), m_loop(wxEventLoopBase::GetActive()) {
    wxEvtHandler::AddFilter(this);
  }
  ~InputCatcher() override { wxEvtHandler::RemoveFilter(this); }
  InputCatcher(const InputCatcher&) = delete;
  InputCatcher& operator=(const InputCatcher&) = delete;

  int FilterEvent(wxEvent& event) override {
    // A dialog opened during the capture (a question to the user) runs a loop of its own; the
    // input it gets is its answer.
    if (wxEventLoopBase::GetActive() != m_loop) return Event_Skip;
    const wxEventType type = event.GetEventType();
    if ((type == wxEVT_CHAR_HOOK || type == wxEVT_KEY_DOWN) &&
        static_cast<wxKeyEvent&>(event).GetKeyCode() == WXK_ESCAPE) {
      m_abort = AbortInput::kEscapeKey;
    } else if (type == wxEVT_LEFT_DOWN) {
      m_abort = AbortInput::kLeftMouseButton;
    } else if (type == wxEVT_RIGHT_DOWN) {
      m_abort = AbortInput::kRightMouseButton;
    } else if (event.GetEventCategory() != wxEVT_CATEGORY_USER_INPUT) {
      return Event_Skip;
    }
    return Event_Processed;
  }

 private:
  AbortInput& m_abort;
  const wxEventLoopBase* m_loop;  // the loop the capture pumps
};

void WxMainLoop::PumpAndWait(std::chrono::milliseconds timeout) {
  if (wxEventLoopBase* loop = wxEventLoopBase::GetActive(); loop && !loop->IsYielding()) {
    const InputCatcher catcher(m_abort);
    loop->YieldFor(wxEVT_CATEGORY_UI | wxEVT_CATEGORY_USER_INPUT);
  }
  std::unique_lock lock(m_mutex);
  m_woken.wait_for(lock, timeout, [this] { return m_wakeRequested; });
  m_wakeRequested = false;
}

void WxMainLoop::Wake() {
  {
    const std::lock_guard lock(m_mutex);
    m_wakeRequested = true;
  }
  m_woken.notify_one();
}

AbortInput WxMainLoop::TakeAbortInput() { return std::exchange(m_abort, AbortInput::kNone); }

}  // namespace tovalen
