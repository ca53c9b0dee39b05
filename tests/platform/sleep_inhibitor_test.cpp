#include "platform/sleep_inhibitor.h"

#include <gmock/gmock.h>

#include "support/fake_logind.h"
#include "support/temp_dir.h"
#include "support/trace_capture.h"

namespace tovalen::testing {
namespace {

using ::testing::ElementsAre;

TEST(SleepInhibitor, HoldsOneBlockingSleepLockForTheLatestReasonUntilReleased) {
  FakeLogind logind;
  SleepInhibitor inhibitor;
  inhibitor.Hold("録画予約 A");
  inhibitor.Hold("録画予約 A");
  ASSERT_EQ(logind.Locks().size(), 1u);
  const FakeLogind::Lock first = logind.Locks()[0];
  EXPECT_EQ(first.what, "sleep");
  EXPECT_EQ(first.who, "Tovalen");
  EXPECT_EQ(first.mode, "block");
  EXPECT_TRUE(first.held);
  EXPECT_TRUE(inhibitor.IsHeld());

  inhibitor.Hold("録画予約 B");
  EXPECT_EQ(logind.Locks().size(), 2u);
  EXPECT_TRUE(logind.AwaitHeld({"録画予約 B"}));

  inhibitor.Release();
  EXPECT_FALSE(inhibitor.IsHeld());
  EXPECT_TRUE(logind.AwaitHeld({}));
  inhibitor.Hold("録画予約 B");  // held again after a release, although the reason is the same
  EXPECT_THAT(logind.HeldWhys(), ElementsAre("録画予約 B"));
}

TEST(SleepInhibitor, CarriesOnWithoutLogindAndSaysSoOnce) {
  TempDir dir;
  ::setenv("DBUS_SYSTEM_BUS_ADDRESS", ("unix:path=" + dir.File("no-bus")).c_str(), 1);
  TraceCapture trace;
  {
    SleepInhibitor inhibitor;
    inhibitor.Hold("録画予約 A");
    inhibitor.Hold("録画予約 B");
    EXPECT_FALSE(inhibitor.IsHeld());
  }
  ::unsetenv("DBUS_SYSTEM_BUS_ADDRESS");
  EXPECT_THAT(trace.Text(), ::testing::StartsWith("D: SleepInhibitor logind unreachable: "));
  EXPECT_EQ(trace.Text().find("unreachable", trace.Text().find("unreachable") + 1), std::string::npos);
}

}  // namespace
}  // namespace tovalen::testing
