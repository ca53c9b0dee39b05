#include "capture/active_runner.h"

#include <gmock/gmock.h>

#include <memory>

namespace tovalen {
namespace {

class Runner : public CActiveRunner {
 public:
  using CActiveRunner::Activate;
  using CActiveRunner::Deactivate;
  void UpdateFrameCount(std::int32_t) override {}
  std::int32_t GetRecordSeconds() const override { return 0; }
  void OnCaptureFinished() override {}
};

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
}  // namespace tovalen
