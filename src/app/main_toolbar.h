#pragma once

class wxAuiToolBar;
class wxFrame;
class wxWindow;

namespace tovalen {

// The main window's toolbar: new, open, save | select device, reservation list, start scheduled
// recording | help. Each button carries its command's id, tooltip and status-bar prompt; the
// prompt is shown in the frame's status bar while the mouse is over the button.
wxAuiToolBar* CreateMainToolBar(wxFrame* frame);

}  // namespace tovalen
