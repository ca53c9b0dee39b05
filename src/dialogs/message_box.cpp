#include "dialogs/message_box.h"

#include <gtk/gtk.h>
#include <wx/msgdlg.h>
#include <wx/stattext.h>
#include <wx/weakref.h>
// The generic box needs the declarations above.
#include <wx/generic/msgdlgg.h>

#include <algorithm>
#include <utility>
#include <vector>

#include "dialogs/wx_text.h"

namespace tovalen {
namespace {

constexpr int kMaxTextWidth = 520;

// Lets GTK wrap a long line of the message the way Japanese text wraps, as its own message
// dialog does; wx would give the line its full width.
void WrapLabel(wxStaticText& label, int maxWidth) {
  if (label.GetBestSize().x <= maxWidth) return;
  GtkWidget* widget = static_cast<GtkWidget*>(label.GetHandle());
  gtk_label_set_line_wrap(GTK_LABEL(widget), TRUE);
  gtk_label_set_line_wrap_mode(GTK_LABEL(widget), PANGO_WRAP_WORD_CHAR);
  // The label's own layout, wrapped at the width the box gives it, tells the height it needs.
  PangoLayout* wrapped = pango_layout_copy(gtk_label_get_layout(GTK_LABEL(widget)));
  pango_layout_set_width(wrapped, maxWidth * PANGO_SCALE);
  pango_layout_set_wrap(wrapped, PANGO_WRAP_WORD_CHAR);
  int height = 0;
  pango_layout_get_pixel_size(wrapped, nullptr, &height);
  g_object_unref(wrapped);
  label.SetMinSize(wxSize(maxWidth, height));
}

// GTK's own message dialog shows no icon whatever its type, so the box is wx's own.
class MessageBoxWindow : public wxGenericMessageDialog {
 public:
  using wxGenericMessageDialog::wxGenericMessageDialog;

 protected:
  // Called once the message's lines exist and before the box takes its size.
  void AddMessageDialogCheckBox(wxSizer*) override {
    for (wxWindow* child : GetChildren()) {
      if (auto* label = dynamic_cast<wxStaticText*>(child)) WrapLabel(*label, FromDIP(kMaxTextWidth));
    }
  }
};

// A box that nothing waits for. It lives until OK or its close box, not on anyone's stack.
class BoxWithoutWaiting : public MessageBoxWindow {
 public:
  BoxWithoutWaiting(wxWindow* owner, const MessageBoxRequest& request, long style,
                    std::function<void(MessageAnswer)> onAnswer)
      : MessageBoxWindow(owner, ToWx(request.text), ToWx(request.caption), style),
        m_text(request.text),
        m_caption(request.caption),
        m_onAnswer(std::move(onAnswer)) {
    DoCreateMsgdialog();
    // A modal window (the recording window) grabs the input of its window group; in a group of
    // its own the box can still be answered.
    GtkWindowGroup* group = gtk_window_group_new();
    gtk_window_group_add_window(group, GTK_WINDOW(GetHandle()));
    g_object_unref(group);
    Bind(wxEVT_BUTTON, [this](wxCommandEvent& event) { Answer(AnswerFor(event.GetId())); });
    Bind(wxEVT_CLOSE_WINDOW, [this](wxCloseEvent&) { Answer(MessageAnswer::kCancel); });
  }

  // Left unanswered, it must not keep the program running once the main window has closed:
  // the program then closes it.
  bool ShouldPreventAppExit() const override { return false; }

  bool Says(const MessageBoxRequest& request) const { return m_text == request.text && m_caption == request.caption; }

 private:
  static MessageAnswer AnswerFor(int id) {
    if (id == wxID_YES) return MessageAnswer::kYes;
    if (id == wxID_NO) return MessageAnswer::kNo;
    return id == wxID_CANCEL ? MessageAnswer::kCancel : MessageAnswer::kOk;
  }

  void Answer(MessageAnswer answer) {
    if (IsBeingDeleted()) return;
    Destroy();
    if (auto onAnswer = std::exchange(m_onAnswer, {})) onAnswer(answer);
  }

  std::string m_text;
  std::string m_caption;
  std::function<void(MessageAnswer)> m_onAnswer;
};

std::vector<wxWeakRef<BoxWithoutWaiting>>& OpenBoxesWithoutWaiting() {
  static std::vector<wxWeakRef<BoxWithoutWaiting>> boxes;
  std::erase_if(boxes, [](const wxWeakRef<BoxWithoutWaiting>& box) { return !box || box->IsBeingDeleted(); });
  return boxes;
}

long StyleFor(const MessageBoxRequest& request) {
  long style = wxOK;
  if (request.buttons == MessageButtons::kYesNo) style = wxYES_NO;
  if (request.buttons == MessageButtons::kYesNoCancel) style = wxYES_NO | wxCANCEL;
  switch (request.icon) {
    case MessageIcon::kNone:
      return style;
    case MessageIcon::kStop:
      return style | wxICON_ERROR;
    case MessageIcon::kExclamation:
      return style | wxICON_EXCLAMATION;
    case MessageIcon::kQuestion:
      return style | wxICON_QUESTION;
  }
  return style;
}

MessageAnswer ShowWxMessageBox(const MessageBoxRequest& request) {
  MessageBoxWindow box(request.owner, ToWx(request.text), ToWx(request.caption), StyleFor(request));
  switch (box.ShowModal()) {
    case wxID_YES:
      return MessageAnswer::kYes;
    case wxID_NO:
      return MessageAnswer::kNo;
    case wxID_CANCEL:
      return MessageAnswer::kCancel;
    default:
      return MessageAnswer::kOk;
  }
}

MessageBoxPresenter& Presenter() {
  static MessageBoxPresenter presenter;
  return presenter;
}

}  // namespace

MessageAnswer ShowMessageBox(const MessageBoxRequest& request) {
  const MessageBoxPresenter& presenter = Presenter();
  return presenter ? presenter(request) : ShowWxMessageBox(request);
}

void ShowMessageBoxWithoutWaiting(MessageBoxRequest request, std::function<void(MessageAnswer)> onAnswer) {
  request.wait = MessageWait::kNone;
  if (!onAnswer) request.buttons = MessageButtons::kOk;
  if (const MessageBoxPresenter& presenter = Presenter()) {
    const MessageAnswer answer = presenter(request);
    if (onAnswer) onAnswer(answer);
    return;
  }
  auto& open = OpenBoxesWithoutWaiting();
  const auto same = std::find_if(open.begin(), open.end(), [&](const auto& box) { return box->Says(request); });
  if (same != open.end()) {
    (*same)->Raise();
    return;
  }
  // A window of its own: as a child of the main window it would be closed while that window is
  // half destroyed. The main window's end closes it (see ShouldPreventAppExit).
  auto* box = new BoxWithoutWaiting(request.owner, request, StyleFor(request), std::move(onAnswer));
  open.emplace_back(box);
  box->Show();
}

void ShowErrorMessage(wxWindow* owner, const std::string& text) {
  ShowMessageBox({owner, text, "E:", MessageIcon::kStop, MessageButtons::kOk});
}

MessageBoxPresenter SetMessageBoxPresenter(MessageBoxPresenter presenter) {
  MessageBoxPresenter previous = std::move(Presenter());
  Presenter() = std::move(presenter);
  return previous;
}

}  // namespace tovalen
