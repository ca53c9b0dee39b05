#include "capture/active_runner.h"

#include <gmock/gmock.h>

#include <memory>

#include "fake_capture_listener.h"

namespace tovalen::testing {
namespace {

using Runner = FakeCaptureListener;

TEST(ActiveRunner, OnlyAnOpenRunnerIsActive) {
  EXPECT_EQ(CActiveRunner::GetActive(), nullptr);
  Runner first;
  EXPECT_EQ(CActiveRunner::GetActive(), nullptr);  // made, not opened
  first.Activate();
  EXPECT_EQ(CActiveRunner::GetActive(), &first);
  first.Deactivate();
  EXPECT_EQ(CActiveRunner::GetActive(), nullptr);
}

TEST(ActiveRunner, ClosingAnotherRunnerLeavesTheActiveOne) {
  Runner first, second;
  first.Activate();
  second.Deactivate();
  EXPECT_EQ(CActiveRunner::GetActive(), &first);
  first.Deactivate();
}

TEST(ActiveRunner, ARunnerThatGoesAwayIsNoLongerActive) {
  auto runner = std::make_unique<Runner>();
  runner->Activate();
  runner.reset();
  EXPECT_EQ(CActiveRunner::GetActive(), nullptr);
}

}  // namespace
}  // namespace tovalen::testing
