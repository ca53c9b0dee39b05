#include "dialogs/message_box.h"

#include <wx/msgdlg.h>  // the generic box needs its base class first
#include <wx/generic/msgdlgg.h>

#include "dialogs/wx_text.h"

namespace tovalen {
namespace {

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
  // GTK's own message dialog shows no icon whatever its type, so the box is wx's own.
  wxGenericMessageDialog box(request.owner, ToWx(request.text), ToWx(request.caption), StyleFor(request));
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

void ShowErrorMessage(wxWindow* owner, const std::string& text) {
  ShowMessageBox({owner, text, "E:", MessageIcon::kStop, MessageButtons::kOk});
}

MessageBoxPresenter SetMessageBoxPresenter(MessageBoxPresenter presenter) {
  MessageBoxPresenter previous = std::move(Presenter());
  Presenter() = std::move(presenter);
  return previous;
}

}  // namespace tovalen
