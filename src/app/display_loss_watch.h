#pragma once

#include <functional>

namespace tovalen {

// When the X display goes away (a logout, a crashed server) Xlib ends the process on the spot,
// and a recording would stay under its scratch name without an index. While this watch lives,
// a lost display calls `onLost` instead, on the user-interface thread from inside Xlib: it may
// only ask the running capture to end (true: the program ends itself once the capture has been
// saved); when it returns false the process ends at once, as before.
class DisplayLossWatch {
 public:
  explicit DisplayLossWatch(std::function<bool()> onLost);
  ~DisplayLossWatch();
  DisplayLossWatch(const DisplayLossWatch&) = delete;
  DisplayLossWatch& operator=(const DisplayLossWatch&) = delete;
};

}  // namespace tovalen
