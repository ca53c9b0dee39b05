#include "app/main_toolbar.h"

#include <wx/aui/auibar.h>
#include <wx/bitmap.h>
#include <wx/frame.h>

#include <array>
#include <memory>

#include "app/command_ids.h"
#include "app/command_texts.h"
#include "dialogs/wx_text.h"

namespace tovalen {
namespace {

#include "res/icons/toolbar.xpm"

constexpr int kImageWidth = 16;
constexpr int kImageHeight = 15;
constexpr int kSeparator = 0;

// Button commands in order, the images in the same order in the strip.
constexpr std::array kButtons = {cmd::ID_FILE_NEW,         cmd::ID_FILE_OPEN,   cmd::ID_FILE_SAVE,    kSeparator,
                                 cmd::ID_TB_SELECT_DEVICE, cmd::ID_TB_REC_LIST, cmd::ID_TB_REC_START, kSeparator,
                                 cmd::ID_HELP_CONTENTS};

// The prompt of the button under the mouse goes to the status bar, as a menu item's does.
void ShowPromptsInStatusBar(wxAuiToolBar* toolbar, wxFrame* frame) {
  auto shown = std::make_shared<int>(wxID_NONE);
  auto show = [frame, shown](const wxAuiToolBarItem* item) {
    const int id = item ? item->GetId() : wxID_NONE;
    if (id == *shown) return;
    *shown = id;
    frame->DoGiveHelp(item ? item->GetLongHelp() : wxString(), item != nullptr);
  };
  toolbar->Bind(wxEVT_MOTION, [toolbar, show](wxMouseEvent& event) {
    event.Skip();
    const wxAuiToolBarItem* item = toolbar->FindToolByPosition(event.GetX(), event.GetY());
    show(item && item->GetKind() == wxITEM_NORMAL ? item : nullptr);
  });
  toolbar->Bind(wxEVT_LEAVE_WINDOW, [show](wxMouseEvent& event) {
    event.Skip();
    show(nullptr);
  });
  // A button's command may open a modal window, which keeps the mouse's leaving from the toolbar.
  toolbar->Bind(wxEVT_TOOL, [show](wxCommandEvent& event) {
    event.Skip();
    show(nullptr);
  });
}

}  // namespace

wxAuiToolBar* CreateMainToolBar(wxFrame* frame) {
  auto* toolbar = new wxAuiToolBar(frame, cmd::ID_VIEW_TOOLBAR, wxDefaultPosition, wxDefaultSize,
                                   wxAUI_TB_DEFAULT_STYLE | wxAUI_TB_GRIPPER);
  const wxBitmap strip(toolbar_xpm);
  int image = 0;
  for (const int id : kButtons) {
    if (id == kSeparator) {
      toolbar->AddSeparator();
      continue;
    }
    const wxBitmap bitmap = strip.GetSubBitmap(wxRect(image++ * kImageWidth, 0, kImageWidth, kImageHeight));
    const CommandPrompt prompt = PromptOf(id);
    toolbar->AddTool(id, wxString(), bitmap, ToWx(prompt.tooltip), wxITEM_NORMAL);
    toolbar->SetToolLongHelp(id, ToWx(prompt.prompt));
  }
  toolbar->Realize();
  ShowPromptsInStatusBar(toolbar, frame);
  return toolbar;
}

}  // namespace tovalen
