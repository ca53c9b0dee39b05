#pragma once

#include <functional>
#include <string>

class wxWindow;

namespace tovalen {

enum class MessageIcon { kNone, kStop, kExclamation, kQuestion };
enum class MessageButtons { kOk, kYesNo, kYesNoCancel };
enum class MessageAnswer { kOk, kYes, kNo, kCancel };
// Whether the code that shows the box stops until it is answered.
enum class MessageWait { kForAnswer, kNone };

struct MessageBoxRequest {
  wxWindow* owner = nullptr;  // not owned; none means the application's main window
  std::string text;
  std::string caption;
  MessageIcon icon = MessageIcon::kNone;
  MessageButtons buttons = MessageButtons::kOk;
  MessageWait wait = MessageWait::kForAnswer;
};

// Every message box of the GUI goes through this one function, so tests can answer the boxes
// instead of blocking on them.
MessageAnswer ShowMessageBox(const MessageBoxRequest& request);

// Shows the box and returns at once: a run that goes on by itself must not stop for a box that
// nobody may be there to answer. The box goes away when answered, and then tells `onAnswer`
// (none: the box has OK only); while a box with the same caption and text is still open, that
// one is brought to the front instead.
void ShowMessageBoxWithoutWaiting(MessageBoxRequest request, std::function<void(MessageAnswer)> onAnswer = {});

// "E:" with the stop icon and an OK button: how the dialogs refuse what the user entered.
void ShowErrorMessage(wxWindow* owner, const std::string& text);

using MessageBoxPresenter = std::function<MessageAnswer(const MessageBoxRequest&)>;

// Replaces the presenter and returns the previous one; an empty one restores the wx message box.
MessageBoxPresenter SetMessageBoxPresenter(MessageBoxPresenter presenter);

class ScopedMessageBoxPresenter {
 public:
  explicit ScopedMessageBoxPresenter(MessageBoxPresenter presenter)
      : m_previous(SetMessageBoxPresenter(std::move(presenter))) {}
  ~ScopedMessageBoxPresenter() { SetMessageBoxPresenter(std::move(m_previous)); }
  ScopedMessageBoxPresenter(const ScopedMessageBoxPresenter&) = delete;
  ScopedMessageBoxPresenter& operator=(const ScopedMessageBoxPresenter&) = delete;

 private:
  MessageBoxPresenter m_previous;
};

}  // namespace tovalen
