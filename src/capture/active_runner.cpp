#include "capture/active_runner.h"

namespace tovalen {

CActiveRunner::~CActiveRunner() { Deactivate(); }

void CActiveRunner::Deactivate() {
  if (s_pActive == this) s_pActive = nullptr;
}

}  // namespace tovalen
