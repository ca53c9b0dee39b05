#include "support/dialog_driver.h"

#include <gtest/gtest.h>
#include <wx/event.h>

namespace tovalen::testing {

void Click(wxWindow* dialog, int buttonId) {
  wxWindow* button = dialog->FindWindow(buttonId);
  ASSERT_NE(button, nullptr) << "no button " << buttonId;
  wxCommandEvent event(wxEVT_BUTTON, buttonId);
  event.SetEventObject(button);
  button->GetEventHandler()->ProcessEvent(event);
}

MessageBoxRecorder::MessageBoxRecorder(MessageAnswer answer)
    : m_presenter([boxes = m_boxes, answer](const MessageBoxRequest& request) {
        boxes->push_back(request);
        return answer;
      }) {}

std::vector<std::string> MessageBoxRecorder::Texts() const {
  std::vector<std::string> texts;
  for (const auto& box : *m_boxes) texts.push_back(box.text);
  return texts;
}

}  // namespace tovalen::testing

#include <wx/checkbox.h>
#include <wx/choice.h>
#include <wx/evtloop.h>
#include <wx/slider.h>

namespace tovalen::testing {
namespace {

void Notify(wxWindow* control, wxEventType type, int value) {
  wxCommandEvent event(type, control->GetId());
  event.SetEventObject(control);
  event.SetInt(value);
  control->GetEventHandler()->ProcessEvent(event);
}

}  // namespace

void Choose(wxChoice* choice, int item) {
  choice->SetSelection(item);
  Notify(choice, wxEVT_CHOICE, item);
}

void Slide(wxSlider* slider, int value) {
  slider->SetValue(value);
  Notify(slider, wxEVT_SLIDER, value);
}

void Tick(wxCheckBox* box, bool ticked) {
  box->SetValue(ticked);
  Notify(box, wxEVT_CHECKBOX, ticked ? 1 : 0);
}

bool RunLoopUntil(const std::function<bool()>& condition, std::chrono::milliseconds limit) {
  wxGUIEventLoop loop;
  wxEventLoopActivator active(&loop);
  const auto deadline = std::chrono::steady_clock::now() + limit;
  while (!condition() && std::chrono::steady_clock::now() < deadline) {
    loop.YieldFor(wxEVT_CATEGORY_ALL);
    wxMilliSleep(5);
  }
  return condition();
}

}  // namespace tovalen::testing
