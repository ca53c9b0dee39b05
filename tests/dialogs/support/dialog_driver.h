#pragma once

#include <wx/window.h>

#include <chrono>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "dialogs/message_box.h"

namespace tovalen::testing {

// Presses a button as a click would: the button's command event, sent from the button.
void Click(wxWindow* dialog, int buttonId);

// The control with that id, of the expected class; fails the test when there is none.
template <class Control>
Control* ControlOf(wxWindow* dialog, int id) {
  return dynamic_cast<Control*>(dialog->FindWindow(id));
}

// Answers every message box with the given answer and keeps what was asked.
class MessageBoxRecorder {
 public:
  explicit MessageBoxRecorder(MessageAnswer answer = MessageAnswer::kOk);

  const std::vector<MessageBoxRequest>& Boxes() const { return *m_boxes; }
  std::vector<std::string> Texts() const;

 private:
  std::shared_ptr<std::vector<MessageBoxRequest>> m_boxes = std::make_shared<std::vector<MessageBoxRequest>>();
  ScopedMessageBoxPresenter m_presenter;
};

}  // namespace tovalen::testing

class wxChoice;
class wxSlider;
class wxCheckBox;

namespace tovalen::testing {

// Changes a control as the user does: the new value, then the control's notification.
void Choose(wxChoice* choice, int item);
void Slide(wxSlider* slider, int value);
void Tick(wxCheckBox* box, bool ticked);

// Runs an event loop of its own until the condition holds or the limit has passed; whether it
// holds. GTK does some of its work (drawing, a button's press) a moment after the event.
bool RunLoopUntil(const std::function<bool()>& condition, std::chrono::milliseconds limit = std::chrono::seconds(2));

}  // namespace tovalen::testing
