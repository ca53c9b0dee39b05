#include "capture/video_cap.h"
#include "platform/trace.h"

namespace tovalen {

FinalSave CVideoCap::FinishCaptureForExit() {
  if (!WindowAlive()) return FinalSave::kNothingRunning;
  const FinalSave saved = m_driver->FinishForExit(m_hWndC, m_strCaptureFileName);
  if (saved == FinalSave::kSaved) Trace("D: CVideoCap: saved " + m_strCaptureFileName + " before the exit\n");
  return saved;
}

}  // namespace tovalen
