#include <gmock/gmock.h>

#include <stdexcept>

#include "support/trace_capture.h"
#include "video_cap_test_access.h"

namespace tovalen::testing {
namespace {

using ::testing::InSequence;
using ::testing::Return;

using Lifecycle = VideoCapTest;

struct State {
  bool window;
  bool connected;
  bool operator==(const State&) const = default;
};

State StateOf(const CVideoCap& cap) { return {static_cast<bool>(cap.GetCaptureWindow()), cap.IsConnected()}; }

TEST_F(Lifecycle, OneControllerUntilATestReplacesIt) {
  EXPECT_EQ(&CVideoCap::GetInstance(), cap);
  EXPECT_THROW(CVideoCap::Install({}), std::logic_error);
  CVideoCapTestAccess::Destroy();
  EXPECT_THROW(CVideoCap::GetInstance(), std::logic_error);  // nothing installed any more
}

TEST_F(Lifecycle, DestructionStopsDisconnectsAndDestroysInOrder) {
  ConnectDevice();
  {
    InSequence order;
    EXPECT_CALL(*driver, CaptureStop(MockCaptureDriver::kWindow));
    EXPECT_CALL(*driver, DriverDisconnect(MockCaptureDriver::kWindow));
    EXPECT_CALL(*driver, DestroyWindow(MockCaptureDriver::kWindow));
  }
  TraceCapture trace;
  CVideoCapTestAccess::Destroy();
  EXPECT_EQ(trace.Pieces().front(), "D: CVideoCap dtor start \n");
  EXPECT_EQ(trace.Pieces().back(), "D: CVideoCap dtor end\n");
}

TEST_F(Lifecycle, StateTable) {
  const State none{false, false}, windowOnly{true, false}, connected{true, true};
  cap->SetCaptureSettings({SVideoOption{}, SAudioProperty{}, 0});
  EXPECT_TRUE(cap->CreateCaptureWindow({}));
  EXPECT_EQ(StateOf(*cap), windowOnly);
  EXPECT_TRUE(cap->Connect());
  EXPECT_EQ(StateOf(*cap), connected);
  EXPECT_TRUE(cap->Disconnect());
  EXPECT_EQ(StateOf(*cap), windowOnly);
  EXPECT_TRUE(cap->DestroyCaptureWindow());
  EXPECT_EQ(StateOf(*cap), none);
  EXPECT_TRUE(cap->WakeUp({}));
  EXPECT_EQ(StateOf(*cap), connected);
  EXPECT_TRUE(cap->DestroyCaptureWindow());  // disconnects first
  EXPECT_EQ(StateOf(*cap), none);
  EXPECT_TRUE(cap->WakeUp({}));
  EXPECT_TRUE(cap->Standby());
  EXPECT_EQ(StateOf(*cap), none);
}

TEST_F(Lifecycle, CaptureWindowIsMadeOnceAsAChildOfTheParent) {
  int parentWidget = 0;
  const SCaptureWindowPlacement expected{"Capture Window Name", true, true, 0, 0, 320, 240, 0};
  EXPECT_CALL(*driver, CreateCaptureWindow(expected, ParentWindowHandle{&parentWidget})).Times(1);
  EXPECT_TRUE(cap->CreateCaptureWindow({&parentWidget}));
  EXPECT_TRUE(cap->CreateCaptureWindow({&parentWidget}));
}

TEST_F(Lifecycle, WindowFailures) {
  ON_CALL(*driver, CreateCaptureWindow).WillByDefault(Return(CaptureWindowHandle{}));
  TraceCapture trace;
  EXPECT_FALSE(cap->CreateCaptureWindow({}));
  EXPECT_THAT(trace.Text(),
              ::testing::EndsWith("E: CVideoCap::CreateCaptureWindow() ::capCreateCaptureWindow() failed\n"));
  EXPECT_CALL(*driver, DestroyWindow).Times(0);
  EXPECT_TRUE(cap->DestroyCaptureWindow());  // no window: nothing to do

  ::testing::Mock::VerifyAndClearExpectations(driver);
  driver->BehaveAsWorkingDevice();
  ConnectDevice();
  EXPECT_CALL(*driver, DestroyWindow).WillOnce(Return(false));
  trace.Clear();
  EXPECT_FALSE(cap->DestroyCaptureWindow());
  EXPECT_THAT(trace.Text(), ::testing::EndsWith("E: CVideoCap::DestroyCaptureWindow() ::DestroyWindow() failed\n"));
  EXPECT_EQ(StateOf(*cap), (State{true, false}));  // disconnected, the handle kept
  ::testing::Mock::VerifyAndClearExpectations(driver);
}

TEST_F(Lifecycle, ConnectChecksWindowThenDriverIndex) {
  EXPECT_CALL(*driver, DriverConnect).Times(0);
  TraceCapture trace;
  EXPECT_FALSE(cap->Connect());
  EXPECT_EQ(trace.Text(), "D: entering CVideoCap::Connect()\nE: CVideoCap::Connect() m_hWndC == 0\n");
  cap->CreateCaptureWindow({});
  trace.Clear();
  EXPECT_FALSE(cap->Connect());
  EXPECT_EQ(trace.Text(), "D: entering CVideoCap::Connect()\nE: CVideoCap::Connect() m_iCapDriverId < 0\n");
}

TEST_F(Lifecycle, ConnectResizesAndReadsCapabilities) {
  ON_CALL(*driver, GetStatus).WillByDefault(Return(SCapStatus{352, 288}));
  EXPECT_CALL(*driver, DriverConnect(MockCaptureDriver::kWindow, 0)).Times(1);
  EXPECT_CALL(*driver, ResizeWindow(MockCaptureDriver::kWindow, 352, 288));
  ConnectDevice();
  EXPECT_TRUE(cap->AreCapsValid());
  EXPECT_TRUE(cap->Connect());  // already connected: no second driver call
}

TEST_F(Lifecycle, FailedCapabilityQueryKeepsTheConnection) {
  ON_CALL(*driver, DriverGetCaps).WillByDefault(Return(std::nullopt));
  ON_CALL(*driver, GetStatus).WillByDefault(Return(std::nullopt));
  TraceCapture trace;
  ConnectDevice();
  EXPECT_TRUE(cap->IsConnected());
  EXPECT_FALSE(cap->AreCapsValid());
  EXPECT_THAT(trace.Text(), ::testing::HasSubstr("E: CVideoCap::ResizeCapWindow() capGetStatus() failed\n"
                                                 "D: CVideoCap::Connect() capDriverGetCaps() failed\n"));
}

TEST_F(Lifecycle, ConnectFailsOnDriverRefusalAndOnADeadWindow) {
  cap->SetCaptureSettings({SVideoOption{}, SAudioProperty{}, 0});
  cap->CreateCaptureWindow({});
  EXPECT_CALL(*driver, DriverConnect).WillOnce(Return(false));
  TraceCapture trace;
  EXPECT_FALSE(cap->Connect());
  EXPECT_THAT(trace.Text(), ::testing::EndsWith("E: capDriverConnect rv != TRUE\n"));
  EXPECT_EQ(StateOf(*cap), (State{true, false}));

  ON_CALL(*driver, IsWindow).WillByDefault(Return(false));
  EXPECT_FALSE(cap->Connect());  // nothing is sent to a window that is gone
}

TEST_F(Lifecycle, DisconnectNeedsAWindowAndKeepsFlagsOnFailure) {
  TraceCapture trace;
  EXPECT_FALSE(cap->Disconnect());
  EXPECT_EQ(trace.Text(), "D: entering CVideoCap::Disconnect()\nE: CVideoCap::Disconnect() NULL == m_hWndC\n");

  ConnectDevice();
  ASSERT_TRUE(cap->EnablePreview());
  EXPECT_CALL(*driver, DriverDisconnect).WillOnce(Return(false)).WillOnce(Return(true));
  trace.Clear();
  EXPECT_FALSE(cap->Disconnect());
  EXPECT_THAT(trace.Text(), ::testing::EndsWith("E: capDriverDisconnect rv != TRUE\n"));
  EXPECT_TRUE(cap->IsConnected() && cap->IsPreviewOn() && cap->AreCapsValid());
  EXPECT_TRUE(cap->Disconnect());
  EXPECT_FALSE(cap->IsConnected() || cap->IsPreviewOn() || cap->AreCapsValid());
  EXPECT_TRUE(cap->Disconnect());  // not connected: nothing to do
}

TEST_F(Lifecycle, PersistentConnectMakesStandbyAndWakeUpDoNothing) {
  cap->SetCaptureSettings({SVideoOption{1, true}, SAudioProperty{}, 0});
  EXPECT_CALL(*driver, CreateCaptureWindow).Times(0);
  EXPECT_TRUE(cap->WakeUp({}));
  EXPECT_TRUE(cap->Standby());
  EXPECT_EQ(StateOf(*cap), (State{false, false}));
}

TEST_F(Lifecycle, StandbyGoesOnAfterAFailedDisconnect) {
  ConnectDevice();
  ON_CALL(*driver, DriverDisconnect).WillByDefault(Return(false));
  ON_CALL(*driver, DestroyWindow).WillByDefault(Return(false));
  TraceCapture trace;
  EXPECT_FALSE(cap->Standby());
  EXPECT_THAT(trace.Text(), ::testing::HasSubstr("D: CVideoCap::Standby() Disconnect() failed\n"));
  EXPECT_THAT(trace.Text(), ::testing::EndsWith("D: CVideoCap::Standby() DestroyCaptureWindow() failed\n"));
}

// Each failing step of WakeUp leaves what the earlier steps made.
TEST_F(Lifecycle, WakeUpFailuresKeepCompletedSteps) {
  cap->SetCaptureSettings({SVideoOption{}, SAudioProperty{}, 0});
  struct Step {
    const char* trace;
    State left;
    void (*breakDriver)(MockCaptureDriver&);
  };
  const Step steps[] = {
      {"E: CVideoCap::WakeUp() CreateCaptureWindow() failed\n",
       {false, false},
       [](MockCaptureDriver& d) { ON_CALL(d, CreateCaptureWindow).WillByDefault(Return(CaptureWindowHandle{})); }},
      {"E: DVideoCap::WakeUp() Connect() failed\n",
       {true, false},
       [](MockCaptureDriver& d) { ON_CALL(d, DriverConnect).WillByDefault(Return(false)); }},
      {"E: CVideoCap::WakeUp() SetAudioProperty() failed\n",
       {true, true},
       [](MockCaptureDriver& d) { ON_CALL(d, SetAudioFormat).WillByDefault(Return(false)); }},
      {"E: CVideoCap::WakeUp() SetVideoOption() failed\n",
       {true, true},
       [](MockCaptureDriver& d) { ON_CALL(d, CaptureSetSetup).WillByDefault(Return(false)); }},
  };
  for (const Step& step : steps) {
    EXPECT_TRUE(cap->DestroyCaptureWindow());
    driver->BehaveAsWorkingDevice();
    step.breakDriver(*driver);
    TraceCapture trace;
    EXPECT_FALSE(cap->WakeUp({}));
    EXPECT_THAT(trace.Text(), ::testing::EndsWith(step.trace));
    EXPECT_EQ(StateOf(*cap), step.left) << step.trace;
  }
  driver->BehaveAsWorkingDevice();
  TraceCapture trace;
  EXPECT_TRUE(cap->WakeUp({}));
  EXPECT_THAT(trace.Text(), ::testing::EndsWith("D: CVideoCap::WakeUp() success\n"));
}

TEST_F(Lifecycle, ReadyToRecord) {
  struct Case {
    bool connect;
    bool persistent;
    int driverId;
    bool ready;
  };
  for (const Case c : {Case{false, false, -1, false}, Case{false, false, 0, true}, Case{false, true, 0, false},
                       Case{true, true, 0, true}, Case{true, false, 0, true}}) {
    cap->SetCaptureSettings({SVideoOption{1, false}, SAudioProperty{}, 0});
    if (c.connect) ConnectDevice();
    cap->SetCaptureSettings({SVideoOption{1, c.persistent}, SAudioProperty{}, c.driverId});
    EXPECT_EQ(cap->IsReadyToRecord(), c.ready) << c.connect << c.persistent << c.driverId;
    cap->DestroyCaptureWindow();
  }
  ConnectDevice();
  cap->SetCaptureSettings({SVideoOption{1, true}, SAudioProperty{}, -1});
  EXPECT_FALSE(cap->IsReadyToRecord());  // no driver selected, whatever else holds
}

}  // namespace
}  // namespace tovalen::testing
