#include <gmock/gmock.h>

#include "platform/cp932.h"
#include "support/trace_capture.h"
#include "video_cap_test_access.h"

namespace tovalen::testing {
namespace {

using ::testing::_;
using ::testing::InSequence;
using ::testing::Return;

using Display = VideoCapTest;

TEST_F(Display, PreviewAndOverlayExcludeEachOther) {
  TraceCapture trace;
  EXPECT_FALSE(cap->EnablePreview());
  EXPECT_FALSE(cap->EnableOverlay());
  EXPECT_EQ(trace.Text(), "E: CVideoCap::EnablePreview() !m_bConnected\nE CVideoCap::EnableOverlay !m_bConnected\n");
  ConnectDevice();
  {
    InSequence order;
    EXPECT_CALL(*driver, SetPreviewRate(MockCaptureDriver::kWindow, 66));
    EXPECT_CALL(*driver, Preview(_, true));
    EXPECT_CALL(*driver, Preview(_, false));
    EXPECT_CALL(*driver, Overlay(_, true));
    EXPECT_CALL(*driver, Overlay(_, false));
    EXPECT_CALL(*driver, SetPreviewRate(MockCaptureDriver::kWindow, 66));
    EXPECT_CALL(*driver, Preview(_, true));
  }
  trace.Clear();
  EXPECT_TRUE(cap->TogglePreview());
  EXPECT_TRUE(cap->EnablePreview());  // already on: nothing sent
  EXPECT_TRUE(cap->ToggleOverlay());
  EXPECT_TRUE(cap->IsOverlayOn() && !cap->IsPreviewOn());
  EXPECT_TRUE(cap->EnablePreview());
  EXPECT_TRUE(cap->IsPreviewOn() && !cap->IsOverlayOn());
  EXPECT_EQ(trace.Text(),
            "D: CVideoCap::EnablePreview() capPreview ON\nD: CVideoCap::EnablePreview() capOverlay ON\n"
            "D: CVideoCap::EnablePreview() capPreview ON\n");
}

TEST_F(Display, OverlayNeedsTheCapabilityWhenItIsKnown) {
  ON_CALL(*driver, DriverGetCaps).WillByDefault(Return(SCapDriverCaps{}));
  ConnectDevice();
  EXPECT_CALL(*driver, Overlay).Times(0);
  TraceCapture trace;
  EXPECT_FALSE(cap->EnableOverlay());
  EXPECT_EQ(trace.Text(), "E: EnableOverlay() オーバーレイ機能なし\n");
}

TEST_F(Display, CapabilityRule) {
  const auto queries = [&] {
    return std::vector<bool>{cap->CanOverlay(), cap->CanDlgVideoFormat(), cap->CanDlgVideoSource(),
                             cap->CanDlgVideoOut()};
  };
  EXPECT_EQ(queries(), (std::vector<bool>{false, false, false, false}));  // not connected

  SCapDriverCaps caps;
  caps.fHasOverlay = 1;
  caps.fHasDlgVideoSource = 2;  // any non-zero value counts
  ON_CALL(*driver, DriverGetCaps).WillByDefault(Return(caps));
  ConnectDevice();
  EXPECT_EQ(queries(), (std::vector<bool>{true, false, true, false}));

  Reinstall();
  ON_CALL(*driver, DriverGetCaps).WillByDefault(Return(std::nullopt));
  ConnectDevice();
  EXPECT_EQ(queries(), (std::vector<bool>{true, true, true, true}));  // unknown: assumed present
}

TEST_F(Display, DriverDialogs) {
  TraceCapture trace;
  EXPECT_FALSE(cap->DlgVideoFormat() || cap->DlgVideoSource() || cap->DlgVideoOut() || cap->DlgVideoCompression());
  EXPECT_EQ(trace.Text(),
            "E: DlgVideoFormat() !m_bConnected\nE: DlgVideoSource() !m_bConnect\n"
            "E: DlgVideoOut() !m_bConnected\nE: DlgVideoCompression() !m_bConnected\n");

  ON_CALL(*driver, DriverGetCaps).WillByDefault(Return(SCapDriverCaps{}));
  ConnectDevice();
  EXPECT_CALL(*driver, DlgVideoCompression(MockCaptureDriver::kWindow));
  trace.Clear();
  EXPECT_FALSE(cap->DlgVideoFormat() || cap->DlgVideoSource() || cap->DlgVideoOut());
  EXPECT_TRUE(cap->DlgVideoCompression());
  EXPECT_EQ(trace.Text(),
            "E: DlgVideoFormat() no such capability\nE: DlgVideoSource() no such capability\n"
            "E: DlgVideoOut() no such capability\n");

  Reinstall();
  ConnectDevice();
  {
    InSequence order;
    EXPECT_CALL(*driver, DlgVideoFormat);
    EXPECT_CALL(*driver, ResizeWindow(MockCaptureDriver::kWindow, 720, 576));  // the new image size
  }
  EXPECT_CALL(*driver, DlgVideoSource);
  EXPECT_CALL(*driver, DlgVideoDisplay);
  ON_CALL(*driver, GetStatus).WillByDefault(Return(SCapStatus{720, 576}));
  EXPECT_TRUE(cap->DlgVideoFormat() && cap->DlgVideoSource() && cap->DlgVideoOut());
}

TEST_F(Display, StatusReport) {
  EXPECT_EQ(cap->GetStatusReport(),
            "キャプチャデバイスID = -1\n"
            "接続                 = 未接続\n"
            "CapDriverCaps        = 無効\n"
            "キャプチャ中         = いいえ\n"
            "オーバーレイ         = OFF\n"
            "プレビュー           = OFF");
  ConnectDevice();
  cap->EnableOverlay();
  ON_CALL(*driver, CaptureSequence).WillByDefault([&](auto) {
    const std::string report = cap->GetStatusReport();
    EXPECT_EQ(report,
              "キャプチャデバイスID = 0\n"
              "接続                 = 接続中\n"
              "CapDriverCaps        = 有効\n"
              "キャプチャ中         = はい\n"
              "オーバーレイ         = ON\n"
              "プレビュー           = OFF");
    // In code page 932 every label is 23 bytes with its "=" at the 22nd, so values line up.
    const std::string cp932 = *Utf8ToCp932(report);
    std::size_t start = 0;
    for (int line = 0; line < 6; ++line) {
      EXPECT_EQ(cp932.substr(start + 21, 2), "= ") << line;
      start = cp932.find('\n', start) + 1;
    }
    return true;
  });
  EXPECT_TRUE(cap->Capture());
}

}  // namespace
}  // namespace tovalen::testing
