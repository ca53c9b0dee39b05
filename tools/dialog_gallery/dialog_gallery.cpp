// Shows one dialog with sample contents and saves a picture of it, for scripts/screenshots.
// Usage: dialog_gallery NAME OUTPUT.png
#include <wx/app.h>
#include <wx/timer.h>
#include <wx/utils.h>
#include <wx/window.h>

#include <clocale>
#include <cstdio>
#include <functional>
#include <map>
#include <memory>
#include <string>

#include "dialogs/toolkit_language.h"
#include "gallery_samples.h"
#include "platform/japanese_locale.h"

namespace tovalen::gallery {
namespace {

class GalleryApp : public wxApp {
 public:
  bool OnInit() override {
    if (argc == 2 && argv[1] == wxString::FromUTF8("--list")) {
      std::printf("%s\n", SampleNames().c_str());
      return false;
    }
    if (argc != 3) {
      std::fprintf(stderr, "usage: dialog_gallery NAME OUTPUT.png\nnames: %s\n", SampleNames().c_str());
      return false;
    }
    // The same locale and texts as the program.
    std::setlocale(LC_ALL, "");
    PreferJapaneseMessagesAndDates();
    UseJapaneseToolkitTexts();
    m_output = argv[2].utf8_string();
    m_window = ShowSample(argv[1].utf8_string());
    if (m_window == nullptr) {
      std::fprintf(stderr, "dialog_gallery: no sample named %s\n", argv[1].utf8_str().data());
      return false;
    }
    // Give GTK time to lay out and draw before the picture is taken.
    m_timer.Bind(wxEVT_TIMER, [this](wxTimerEvent&) { TakePicture(); });
    m_timer.StartOnce(1500);
    return true;
  }

 private:
  void TakePicture() {
    const wxRect rect = m_window->GetScreenRect();
    const std::string command = "import -window root -crop " + std::to_string(rect.width) + "x" +
                                std::to_string(rect.height) + "+" + std::to_string(rect.x) + "+" +
                                std::to_string(rect.y) + " +repage " + m_output;
    m_status = wxExecute(wxString::FromUTF8(command), wxEXEC_SYNC);
    CloseSample();
    ExitMainLoop();
  }

  int OnExit() override { return 0; }
  int OnRun() override {
    wxApp::OnRun();
    return m_status;
  }

  std::string m_output;
  wxWindow* m_window = nullptr;
  wxTimer m_timer;
  int m_status = 1;
};

}  // namespace
}  // namespace tovalen::gallery

wxIMPLEMENT_APP(tovalen::gallery::GalleryApp);
