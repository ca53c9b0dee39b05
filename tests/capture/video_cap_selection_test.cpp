#include <gmock/gmock.h>

#include "support/trace_capture.h"
#include "video_cap_test_access.h"

namespace tovalen::testing {
namespace {

using ::testing::ElementsAre;
using ::testing::InSequence;
using ::testing::Return;

std::string Repeated(const std::string& text, int times) {
  std::string out;
  for (int i = 0; i < times; ++i) out += text;
  return out;
}

class Selection : public VideoCapTest {
 protected:
  // Drivers installed at indices 0 and 3 only.
  void InstallDriversWithAGap() {
    ON_CALL(*driver, GetDriverDescription).WillByDefault([](int index) -> std::optional<SDriverDescription> {
      if (index == 0) return SDriverDescription{"Camera", "5.15"};
      if (index == 3) return SDriverDescription{std::string(100, 'n'), "v" + Repeated("版", 50)};
      return std::nullopt;
    });
  }
};

TEST_F(Selection, EnumerationKeepsGapsAndTracesEachDriver) {
  InstallDriversWithAGap();
  TraceCapture trace;
  EXPECT_TRUE(cap->EnumCapDrivers());
  ASSERT_EQ(cap->GetCapDeviceCount(), 2);
  EXPECT_EQ(cap->GetCapDeviceInfo(0)->nIndex, 0);
  EXPECT_EQ(cap->GetCapDeviceInfo(1)->nIndex, 3);
  EXPECT_EQ(cap->GetCapDeviceInfo(1)->strName.size(), 79u);  // the longest name kept
  // 79 bytes of code page 932: one byte and 39 double-byte characters, none split.
  EXPECT_EQ(cap->GetCapDeviceInfo(1)->strVersion, "v" + Repeated("版", 39));
  EXPECT_EQ(trace.Text(),
            "D: entering CVideoCap::EnumCapDrivers()\n"
            "D: EnumCapDrivers() 0, Camera, 5.15\n"
            "D: EnumCapDrivers() 3, " +
                std::string(79, 'n') + ", v" + Repeated("版", 39) + "\n");
}

TEST_F(Selection, DeviceInfoOutsideTheList) {
  TraceCapture trace;
  EXPECT_EQ(cap->GetCapDeviceInfo(0), nullptr);
  EXPECT_EQ(trace.Text(), "E: GetCapDeviceInfo() empty\n");
  cap->EnumCapDrivers();
  trace.Clear();
  EXPECT_EQ(cap->GetCapDeviceInfo(-1), nullptr);
  EXPECT_EQ(cap->GetCapDeviceInfo(1), nullptr);
  EXPECT_EQ(trace.Text(), "E: GetCapDeviceInfo() out of range\nE: GetCapDeviceInfo() out of range\n");
}

// The chosen record's own index is connected, not its list position.
TEST_F(Selection, ChoosingTheSecondOfTwoDriversConnectsItsOwnIndex) {
  InstallDriversWithAGap();
  ui->deviceSelection = {DialogResult::kOk, 1};
  EXPECT_CALL(*driver, DriverConnect(MockCaptureDriver::kWindow, 3));
  EXPECT_TRUE(cap->SelectCapDriver({}));
  EXPECT_EQ(cap->GetCapDriverId(), 3);
  EXPECT_EQ(ui->listedDevices.size(), 2u);
  EXPECT_TRUE(ui->messages.empty());
}

TEST_F(Selection, SelectingAgainDropsTheConnectionBeforeEnumerating) {
  ConnectDevice();
  cap->EnablePreview();
  {
    InSequence order;
    EXPECT_CALL(*driver, DriverDisconnect);
    EXPECT_CALL(*driver, GetDriverDescription(0));
    EXPECT_CALL(*driver, DriverConnect);
  }
  EXPECT_CALL(*driver, GetDriverDescription(::testing::Gt(0))).Times(9);
  EXPECT_TRUE(cap->SelectCapDriver({}));
  EXPECT_TRUE(cap->IsConnected());
  EXPECT_FALSE(cap->IsPreviewOn() || cap->IsOverlayOn());
  ::testing::Mock::VerifyAndClearExpectations(driver);
}

TEST_F(Selection, FailuresBeforeTheDialog) {
  ON_CALL(*driver, CreateCaptureWindow).WillByDefault(Return(CaptureWindowHandle{}));
  EXPECT_FALSE(cap->SelectCapDriver({}));
  EXPECT_THAT(ui->messages, ElementsAre("エラー: キャプチャウィンドウを開けませんでした。"));

  driver->BehaveAsWorkingDevice();
  ON_CALL(*driver, GetDriverDescription).WillByDefault(Return(std::nullopt));
  EXPECT_FALSE(cap->SelectCapDriver({}));
  EXPECT_EQ(ui->messages.back(), "エラー: 有効なキャプチャデバイスが全くありません。");
  EXPECT_TRUE(cap->GetCaptureWindow());  // the window stays

  driver->BehaveAsWorkingDevice();
  ConnectDevice();
  ON_CALL(*driver, DriverDisconnect).WillByDefault(Return(false));
  TraceCapture trace;
  EXPECT_FALSE(cap->SelectCapDriver({}));
  EXPECT_THAT(trace.Text(), ::testing::EndsWith("E: CVideoCap::SelectCapDriver() Disconnect failed\n"));
  EXPECT_EQ(ui->messages.size(), 2u);  // no message for this one
  EXPECT_EQ(ui->deviceDialogs, 0);
}

TEST_F(Selection, EveryDialogOutcome) {
  struct Case {
    DeviceSelection choice;
    bool connectWorks;
    const char* message;  // null: none
    bool result;
    int driverId;
    bool window;
  };
  const Case cases[] = {
      {{DialogResult::kOk, -1}, true, "キャプチャデバイス一覧の中からどれか選んでください", false, -1, true},
      {{DialogResult::kOk, 1}, true, "キャプチャデバイス一覧の中からどれか選んでください", false, -1, true},
      {{DialogResult::kOk, 0}, true, nullptr, true, 0, true},
      {{DialogResult::kOk, 0},
       false,
       "キャプチャデバイスとの接続に失敗しました。\n多分Windowsを再起動すると直ります。",
       false,
       0,
       true},
      {{DialogResult::kCancel, 0}, true, nullptr, false, -1, false},
      {{DialogResult::kAbort, 0}, true, "SelectCapDriver() DoModal() ID_ABORT", false, -1, true},
      {{DialogResult::kFailed, 0}, true, "Dialog box could not be created!", false, -1, true},
      {{static_cast<DialogResult>(7), 0}, true, "SelectCapDriver() DoModal() unknown return code", false, -1, true},
  };
  for (const Case& c : cases) {
    Reinstall();
    ON_CALL(*driver, DriverConnect).WillByDefault(Return(c.connectWorks));
    ui->deviceSelection = c.choice;
    EXPECT_EQ(cap->SelectCapDriver({}), c.result);
    const std::string what = c.message ? c.message : "no message";
    if (c.message) {
      EXPECT_THAT(ui->messages, ElementsAre(c.message));
    } else {
      EXPECT_THAT(ui->messages, ::testing::IsEmpty()) << what;
    }
    EXPECT_EQ(cap->GetCapDriverId(), c.driverId) << what;
    EXPECT_EQ(cap->IsConnected(), c.result) << what;
    EXPECT_EQ(static_cast<bool>(cap->GetCaptureWindow()), c.window) << what;
  }
}

}  // namespace
}  // namespace tovalen::testing
