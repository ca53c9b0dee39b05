#pragma once

#include <functional>

namespace tovalen {

// When the X display goes away (a logout, a crashed server) the toolkit cannot go on: Xlib calls
// its IO error handler, and whatever that handler returns into fails. While this watch lives, a
// lost display calls `onLost` from inside Xlib, on the user-interface thread; it must not touch
// the toolkit, and the process ends with the status it returns, without returning into Xlib.
class DisplayLossWatch {
 public:
  explicit DisplayLossWatch(std::function<int()> onLost);
  ~DisplayLossWatch();
  DisplayLossWatch(const DisplayLossWatch&) = delete;
  DisplayLossWatch& operator=(const DisplayLossWatch&) = delete;
};

// The exit statuses of a lost display.
inline constexpr int kExitRecordingSaved = 0;    // the recording in progress is at its target
inline constexpr int kExitNoRecordingSaved = 1;  // none was in progress, or it could not be saved

// What the desktop program does when its display is lost: the recording in progress is ended
// and saved at its target as at its end, a line on stderr says what happened, and the status
// above is returned.
int SaveRecordingForLostDisplay();

}  // namespace tovalen
