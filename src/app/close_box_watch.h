#pragma once

#include <functional>

class wxTopLevelWindow;

namespace tovalen {

// The window manager's close box of one top-level window, seen before the toolkit sees it: the
// toolkit drops a close of a window that a modal dialog keeps behind it. While `wanted` says
// yes, the close is taken from the toolkit and `onClose` runs from the main loop a moment later;
// otherwise the toolkit handles it as usual. One watch at a time.
class CloseBoxWatch {
 public:
  CloseBoxWatch(wxTopLevelWindow& window, std::function<bool()> wanted, std::function<void()> onClose);
  ~CloseBoxWatch();
  CloseBoxWatch(const CloseBoxWatch&) = delete;
  CloseBoxWatch& operator=(const CloseBoxWatch&) = delete;

 private:
  friend struct CloseBoxWatchCallbacks;
  // Whether the display's client message is a close box of the window that is wanted now.
  bool Takes(unsigned long window, unsigned long messageType, long protocol) const;

  wxTopLevelWindow& m_window;
  std::function<bool()> m_wanted;
  std::function<void()> m_onClose;
  unsigned long m_protocolsAtom = 0;
  unsigned long m_deleteWindowAtom = 0;
  unsigned m_pending = 0;  // the main-loop source that calls m_onClose, or 0
};

}  // namespace tovalen
