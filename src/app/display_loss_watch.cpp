#include "app/display_loss_watch.h"

#include <X11/Xlib.h>
#include <gdk/gdkx.h>
#include <unistd.h>

#include <string>

#include "capture/video_cap.h"
#include "platform/posix_file.h"

namespace tovalen {
namespace {

// Xlib's handler is process-wide; only the user-interface thread talks to the display.
std::function<int()> g_onLost;
bool g_installed = false;
XIOErrorHandler g_previousHandler = nullptr;

// Saving a recording takes seconds; a capture that never finishes must not keep a process
// without a display alive. The default action of SIGALRM ends it, leaving the recording as a
// killed one is left, for the recovery.
constexpr unsigned kLongestFinalSaveSeconds = 60;

// Replaces the toolkit's handler. It never returns: the toolkit cannot survive that.
int OnIoError(Display*) {
  ::alarm(kLongestFinalSaveSeconds);
  ::_exit(g_onLost ? g_onLost() : kExitNoRecordingSaved);
}

void SayOnStderr(const std::string& line) { WriteAll(STDERR_FILENO, line.data(), line.size()); }

}  // namespace

DisplayLossWatch::DisplayLossWatch(std::function<int()> onLost) {
  GdkDisplay* display = gdk_display_get_default();
  if (!display || !GDK_IS_X11_DISPLAY(display)) return;
  g_onLost = std::move(onLost);
  g_previousHandler = XSetIOErrorHandler(OnIoError);
  g_installed = true;
}

DisplayLossWatch::~DisplayLossWatch() {
  if (!g_installed) return;
  XSetIOErrorHandler(g_previousHandler);
  g_onLost = nullptr;
  g_installed = false;
}

int SaveRecordingForLostDisplay() {
  CVideoCap& cap = CVideoCap::GetInstance();
  switch (cap.FinishCaptureForExit()) {
    case FinalSave::kSaved:
      SayOnStderr("tovalen: the display was lost; the recording was saved to " + cap.GetCaptureFileName() + "\n");
      return kExitRecordingSaved;
    case FinalSave::kNotSaved:
      SayOnStderr("tovalen: the display was lost; the recording could not be saved to " + cap.GetCaptureFileName() +
                  "; anything recorded is kept beside it for tovalen-rec recover\n");
      return kExitNoRecordingSaved;
    case FinalSave::kNothingRunning:
      break;
  }
  SayOnStderr("tovalen: the display was lost; no recording was in progress\n");
  return kExitNoRecordingSaved;
}

}  // namespace tovalen
