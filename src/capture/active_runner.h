#pragma once

#include <cstdint>

namespace tovalen {

// The link from the capture controller to the open recording runner. The runner derives from
// this class and activates itself while its window is open; the controller asks GetActive for
// every frame and after every saved capture, and makes no call while nothing is active. What the
// controller tells beyond these calls goes to its CaptureListener.
// Everything runs on the user-interface thread.
class CActiveRunner {
 public:
  CActiveRunner() = default;
  CActiveRunner(const CActiveRunner&) = delete;
  CActiveRunner& operator=(const CActiveRunner&) = delete;

  // The open runner, or null.
  static CActiveRunner* GetActive() { return s_pActive; }

  // Once per captured frame, after the controller has updated its capture clock.
  virtual void UpdateFrameCount(std::int32_t elapsedMs) = 0;
  // The recording length of the reservation being captured, in whole seconds.
  virtual std::int32_t GetRecordSeconds() const = 0;
  // Once after a capture has ended and its file has been saved; never after a failure. Called
  // from inside Capture: the device goes on standby only once Capture has returned.
  virtual void OnCaptureFinished() = 0;

 protected:
  // A runner that goes away while active is unregistered, so GetActive never dangles.
  virtual ~CActiveRunner();

  // The runner's window opened: this runner becomes the active one.
  void Activate() { s_pActive = this; }
  // The runner's window closes. Leaves another runner's registration alone.
  void Deactivate();

 private:
  static inline CActiveRunner* s_pActive = nullptr;  // not owned
};

}  // namespace tovalen
