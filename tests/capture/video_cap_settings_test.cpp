#include <gmock/gmock.h>

#include "capture/frame_rate_and_wave_format.h"
#include "schedule/archive.h"
#include "support/trace_capture.h"
#include "video_cap_test_access.h"

namespace tovalen::testing {
namespace {

using ::testing::_;
using ::testing::DoAll;
using ::testing::Return;
using ::testing::SaveArg;

using Settings = VideoCapTest;

TEST(DeviceSettings, AudioChoicesBecomePcmFormats) {
  struct Case {
    SAudioProperty choice;
    SWaveFormat format;
  };
  for (const Case& c : {Case{{3, 1, 1}, {1, 2, 44100, 176400, 4, 16, 0}}, Case{{0, 0, 0}, {1, 1, 8000, 8000, 1, 8, 0}},
                        Case{{1, 1, 0}, {1, 1, 11025, 22050, 2, 16, 0}}, Case{{2, 0, 1}, {1, 2, 22050, 44100, 2, 8, 0}},
                        Case{{-1, 5, 2}, {1, 1, 8000, 8000, 1, 8, 0}}}) {
    EXPECT_EQ(MakeWaveFormat(c.choice), c.format) << c.choice.ToString();
  }
}

TEST(DeviceSettings, FrameRateChoicesBecomeTruncatedMicroseconds) {
  EXPECT_EQ(MicroSecPerFrameFor(0), 66666u);
  EXPECT_EQ(MicroSecPerFrameFor(1), 33333u);
  EXPECT_EQ(MicroSecPerFrameFor(2), 80000u);
  EXPECT_EQ(MicroSecPerFrameFor(3), 40000u);
  EXPECT_EQ(MicroSecPerFrameFor(4), std::nullopt);
  EXPECT_EQ(MicroSecPerFrameFor(-1), std::nullopt);
}

TEST_F(Settings, AudioPropertyIsStoredThenApplied) {
  TraceCapture trace;
  EXPECT_FALSE(cap->SetAudioProperty({0, 0, 0}));
  EXPECT_EQ(cap->GetAudioProperty(), (SAudioProperty{0, 0, 0}));
  EXPECT_EQ(trace.Text(),
            "D: CVideoCap::SetAudioProperty()\n\tnSamplesPerSec = 0, nPrecision = 0, nChannels = 0\n"
            "E: SetAudioFormat() !m_bConnected\n");

  ConnectDevice();
  SWaveFormat sent;
  EXPECT_CALL(*driver, SetAudioFormat(MockCaptureDriver::kWindow, _)).WillOnce(DoAll(SaveArg<1>(&sent), Return(true)));
  EXPECT_TRUE(cap->SetAudioFormat());
  EXPECT_EQ(sent, (SWaveFormat{1, 1, 8000, 8000, 1, 8, 0}));
}

TEST_F(Settings, VideoOptionIsStoredEvenWhenItCannotBeApplied) {
  TraceCapture trace;
  EXPECT_FALSE(cap->SetVideoOption(SVideoOption{3, true}));
  EXPECT_EQ(cap->GetVideoOption(), (SVideoOption{3, true}));
  EXPECT_EQ(trace.Text(),
            "D: CVideoCap::SetVideoOption()\tFPS = 3, PersistentConnect = 1\n"
            "E: SetVideoOption() !m_bConnected\n");
}

// Only the frame period and the index size change; the driver's other fields go back as read.
TEST_F(Settings, CaptureSetUpFromTheFrameRateChoice) {
  ConnectDevice();
  SCaptureParms reported;
  reported.dwRequestMicroSecPerFrame = 1;
  reported.fYield = true;
  reported.fCaptureAudio = false;
  reported.fLimitEnabled = true;
  reported.wTimeLimit = 9;
  ON_CALL(*driver, CaptureGetSetup).WillByDefault(Return(reported));
  for (const auto& [fps, microseconds] : {std::pair{2, 80000u}, {1, 33333u}, {4, 66666u}}) {
    SCaptureParms written;
    EXPECT_CALL(*driver, CaptureSetSetup(MockCaptureDriver::kWindow, _))
        .WillOnce(DoAll(SaveArg<1>(&written), Return(true)));
    TraceCapture trace;
    EXPECT_TRUE(cap->SetVideoOption(SVideoOption{fps, false}));
    SCaptureParms expected = reported;
    expected.dwRequestMicroSecPerFrame = microseconds;
    expected.dwIndexSize = 324'000;
    EXPECT_EQ(written, expected) << fps;
    EXPECT_EQ(trace.Text().find("E: m_videoOption out of range\n") != std::string::npos, fps == 4);
  }
}

TEST_F(Settings, SerializeStoresTheBlockAndLoadsItWithoutTouchingTheDevice) {
  cap->SetCaptureSettings({SVideoOption{3, true}, SAudioProperty{2, 0, 1}, 4});
  ArchiveWriter writer;
  cap->Serialize(writer);
  ArchiveWriter expected;
  for (const std::int32_t word : {3, 1, 2, 0, 1, 4}) expected.WriteInt32(word);
  EXPECT_EQ(writer.Bytes(), expected.Bytes());

  Reinstall();
  EXPECT_CALL(*driver, CreateCaptureWindow).Times(0);
  EXPECT_CALL(*driver, DriverConnect).Times(0);
  ArchiveReader reader(writer.Bytes());
  cap->Serialize(reader);
  EXPECT_EQ(cap->GetCaptureSettings(), (SCaptureSettings{SVideoOption{3, true}, SAudioProperty{2, 0, 1}, 4}));
  EXPECT_FALSE(cap->IsReadyToRecord());  // a standing connection is required and none exists
}

TEST_F(Settings, ATruncatedBlockChangesNothing) {
  cap->SetCaptureSettings({SVideoOption{2, false}, SAudioProperty{0, 1, 0}, 1});
  ArchiveWriter writer;
  for (const std::int32_t word : {3, 1, 2, 0, 1}) writer.WriteInt32(word);  // the driver index is missing
  ArchiveReader reader(writer.Bytes());
  EXPECT_THROW(cap->Serialize(reader), ArchiveError);
  EXPECT_EQ(cap->GetCaptureSettings(), (SCaptureSettings{SVideoOption{2, false}, SAudioProperty{0, 1, 0}, 1}));
}

}  // namespace
}  // namespace tovalen::testing
