#include "dialogs/help_viewer.h"

#include <unistd.h>
#include <wx/app.h>
#include <wx/display.h>
#include <wx/html/helpctrl.h>
#include <wx/html/helpfrm.h>
#include <wx/html/helpwnd.h>
#include <wx/log.h>
#include <wx/module.h>
#include <wx/sysopt.h>

#include <algorithm>
#include <array>
#include <system_error>

#include "dialogs/help_window_input.h"
#include "dialogs/japanese_help_pages.h"
#include "dialogs/wx_text.h"

namespace tovalen {
namespace {

constexpr const char* kBookName = "Tovalen.hhp";
// Room for the contents beside a page of about 35 Japanese characters a line.
constexpr int kReadableWidth = 900;
constexpr int kReadableHeight = 640;

std::filesystem::path ExecutableDirectory() {
  std::error_code error;
  const auto exe = std::filesystem::read_symlink("/proc/self/exe", error);
  return error ? std::filesystem::path() : exe.parent_path();
}

std::unique_ptr<HelpViewer>& InstanceSlot() {
  static std::unique_ptr<HelpViewer> instance;
  return instance;
}

// Lets go of the help window before wx itself goes.
class HelpViewerModule : public wxModule {
 public:
  bool OnInit() override { return true; }
  void OnExit() override { HelpViewer::Shutdown(); }

 private:
  wxDECLARE_DYNAMIC_CLASS(HelpViewerModule);
};

wxIMPLEMENT_DYNAMIC_CLASS(HelpViewerModule, wxModule);

// A readable size, centred on the caller's window and kept on its screen; wx would open the
// window small wherever the window manager puts it.
void PlaceHelpWindow(wxFrame& frame, wxWindow* caller) {
  const wxWindow* owner = caller ? wxGetTopLevelParent(caller) : nullptr;
  const int display = wxDisplay::GetFromWindow(owner ? owner : &frame);
  const wxRect area = wxDisplay(display == wxNOT_FOUND ? 0u : static_cast<unsigned>(display)).GetClientArea();
  wxSize size = frame.FromDIP(wxSize(kReadableWidth, kReadableHeight));
  size.DecTo(wxSize(area.width * 9 / 10, area.height * 9 / 10));
  wxRect rect = wxRect(size).CentreIn(owner && owner->IsShown() ? owner->GetScreenRect() : area);
  rect.x = std::clamp(rect.x, area.x, area.GetRight() + 1 - rect.width);
  rect.y = std::clamp(rect.y, area.y, area.GetBottom() + 1 - rect.height);
  frame.SetSize(rect);
}

}  // namespace

HelpViewer& HelpViewer::Instance() {
  auto& slot = InstanceSlot();
  if (!slot) slot.reset(new HelpViewer());
  return *slot;
}

void HelpViewer::Shutdown() { InstanceSlot().reset(); }

HelpViewer::~HelpViewer() { CloseAll(); }

void HelpViewer::SetBook(std::filesystem::path hhp) {
  CloseAll();
  m_controller.reset();
  m_book = std::move(hhp);
  m_tried = false;
}

wxHtmlHelpController* HelpViewer::Controller() {
  if (m_tried) return m_controller.get();
  m_tried = true;
  const auto book = m_book ? m_book : FindHelpBook();
  std::error_code error;
  if (!book || !std::filesystem::is_regular_file(*book, error)) return nullptr;
  // The pages are known to be HTML; the desktop's MIME database may not say so for ".htm".
  wxSystemOptions::SetOption(ToWx("filesys.no-mimetypesmanager"), 1);
  BreakJapaneseLinesInHtmlPages();
  auto controller = std::make_unique<wxHtmlHelpController>(wxHF_DEFAULT_STYLE);
  controller->SetTitleFormat(ToWx("Tovalen ヘルプ - %s"));
  wxLogNull quiet;  // a damaged book is treated as a missing one: nothing is shown
  if (!controller->AddBook(wxFileName(ToWx(book->string())))) return nullptr;
  m_controller = std::move(controller);
  return m_controller.get();
}

void HelpViewer::Show(wxWindow* caller, std::string_view page) {
  wxHtmlHelpController* controller = Controller();
  if (!controller) return;
  CloseAll();
  controller->SetParentWindow(caller);
  wxLogNull quiet;
  if (page.empty()) {
    controller->DisplayContents();
  } else {
    controller->Display(ToWx(page));
  }
  m_frame = controller->GetFrame();
  if (!m_frame) return;
  PlaceHelpWindow(*m_frame, caller);
  AcceptInputDuringModalDialogs(m_frame);
}

void HelpViewer::CloseAll() {
  if (!m_controller) return;
  // The window goes at the next idle time, and on its way out it would clear the controller's
  // pointer to whatever help window is open by then: cut it loose first.
  if (m_frame) m_frame->SetController(nullptr);
  m_controller->Quit();
}

int HelpViewer::OpenWindowCount() const {
  int count = 0;
  for (wxWindow* window : wxTopLevelWindows) {
    if (dynamic_cast<wxHtmlHelpFrame*>(window) && !window->IsBeingDeleted()) ++count;
  }
  return count;
}

std::string HelpViewer::ShownPage() const {
  if (!m_controller || !m_controller->GetHelpWindow() || !m_controller->GetHelpWindow()->GetHtmlWindow()) return {};
  return ToUtf8(m_controller->GetHelpWindow()->GetHtmlWindow()->GetOpenedPage());
}

std::optional<std::filesystem::path> FindHelpBook() {
  const std::array<std::filesystem::path, 4> folders = {
      ExecutableDirectory() / "help",
      std::filesystem::path(TOVALEN_INSTALLED_HELP_DIR),
      ExecutableDirectory() / ".." / "share" / "tovalen" / "help",  // installed under another prefix
      std::filesystem::path(TOVALEN_BUILD_HELP_DIR),
  };
  for (const auto& folder : folders) {
    std::error_code error;
    if (std::filesystem::is_regular_file(folder / kBookName, error)) return folder / kBookName;
  }
  return std::nullopt;
}

void ShowHelp(wxWindow* caller, std::string_view page) { HelpViewer::Instance().Show(caller, page); }

}  // namespace tovalen
