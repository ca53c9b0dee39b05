#pragma once

#include <wx/html/helpfrm.h>
#include <wx/weakref.h>

#include <filesystem>
#include <memory>
#include <optional>
#include <string>
#include <string_view>

class wxWindow;
class wxHtmlHelpController;

namespace tovalen {

// The help book's pages that the program opens.
namespace help_page {
inline constexpr const char* kContents = "";  // the book's default page
inline constexpr const char* kNewRec = "dlg_new_rec.htm";
inline constexpr const char* kRecList = "dlg_rec_list.htm";
inline constexpr const char* kSelectCapDevice = "dlg_cap_selectcapdevice.htm";
inline constexpr const char* kAudio = "dlg_cap_audio.htm";
inline constexpr const char* kVideoOption = "dlg_cap_videooption.htm";
inline constexpr const char* kStreamSources = "dlg_stream_sources.htm";
}  // namespace help_page

// The help book of the program (Tovalen.hhp), shown in wx's HTML help window. Every request
// first closes the help windows opened before, then shows one page, so there is never more
// than one help window. Without a help book a request does nothing and reports nothing.
class HelpViewer {
 public:
  static HelpViewer& Instance();
  // Closes the help window and lets go of the book; wx calls it when it shuts down.
  static void Shutdown();

  ~HelpViewer();
  HelpViewer(const HelpViewer&) = delete;
  HelpViewer& operator=(const HelpViewer&) = delete;

  // Uses this book from now on instead of looking for one (tests, other install layouts).
  void SetBook(std::filesystem::path hhp);
  void Show(wxWindow* caller, std::string_view page);
  void CloseAll();
  // Help windows that are open and not already closing.
  int OpenWindowCount() const;
  // The address of the page the help window shows; empty without a help window.
  std::string ShownPage() const;

 private:
  HelpViewer() = default;
  // The controller with the book loaded, or null when there is no usable book.
  wxHtmlHelpController* Controller();

  std::optional<std::filesystem::path> m_book;  // a chosen book; none: look for it
  std::unique_ptr<wxHtmlHelpController> m_controller;
  // The window shown last; it may go without the controller hearing of it (with its owner).
  wxWeakRef<wxHtmlHelpFrame> m_frame;
  bool m_tried = false;
};

// The help book beside the program (help/ next to the executable), in the installed data
// folder, or in the build tree; none when it is nowhere.
std::optional<std::filesystem::path> FindHelpBook();

// Shows a help page with the caller window as the help window's owner.
void ShowHelp(wxWindow* caller, std::string_view page);

}  // namespace tovalen
