#include <gmock/gmock.h>

#include <cstdlib>

#include "capture/ffmpeg/driver_settings_store.h"
#include "capture/ffmpeg/video_codecs.h"
#include "driver_fixture.h"
#include "platform/atomic_file.h"

namespace tovalen::testing {
namespace {

using namespace tovalen::ffmpeg;
using ::testing::HasSubstr;
using ::testing::Optional;

class DriverDialogsTest : public DriverTest {
 protected:
  DriverDialogsTest() {
    dialogs = std::make_shared<ScriptedDialogs>();
    services.dialogs = dialogs;
  }

  DeviceSettings Current() const { return *driver->ConnectedSettings(window); }
  DeviceSettings Saved() const { return services.settingsStore.Load("test-pattern").value(); }

  std::shared_ptr<ScriptedDialogs> dialogs;
};

TEST_F(DriverDialogsTest, ConfirmedChoicesApplyToTheDeviceAndAreKept) {
  Connect();
  dialogs->size = FrameSize{640, 480};
  dialogs->pixelFormat = "yuyv422";
  driver->DlgVideoFormat(window);
  dialogs->input = 1;
  dialogs->control = {"brightness", 30};
  driver->DlgVideoSource(window);
  dialogs->keepAspect = false;
  driver->DlgVideoDisplay(window);
  dialogs->codec = VideoCodec::kFfv1;
  dialogs->quality = 40;
  driver->DlgVideoCompression(window);
  EXPECT_EQ(dialogs->shown, 4);

  const DeviceSettings current = Current();
  EXPECT_EQ(current.size, (FrameSize{640, 480}));
  EXPECT_EQ(current.pixelFormat, "yuyv422");
  EXPECT_EQ(current.input, 1);
  EXPECT_EQ(current.controls.at("brightness"), 30);
  EXPECT_FALSE(current.display.keepAspect);
  EXPECT_EQ(current.codec, VideoCodec::kFfv1);
  EXPECT_EQ(current.quality, 40);
  EXPECT_EQ(Saved(), current);
  EXPECT_EQ(driver->GetStatus(window)->uiImageWidth, 640u);

  // The next recording uses them.
  ASSERT_TRUE(RecordFrames(5));
  ASSERT_TRUE(Save());
  const ProbedFile file = ProbeFile(target);
  EXPECT_EQ(file.video->codec, "ffv1");
  EXPECT_EQ(file.video->width, 640);
}

TEST_F(DriverDialogsTest, ACancelledOrRefusedDialogChangesNothing) {
  Connect();
  const DeviceSettings before = Current();
  dialogs->confirm = false;
  dialogs->codec = VideoCodec::kRawVideo;
  driver->DlgVideoCompression(window);
  dialogs->confirm = true;
  dialogs->size = FrameSize{123, 45};  // not offered: the dialog refuses it
  driver->DlgVideoFormat(window);
  dialogs->size.reset();
  dialogs->input = 7;
  driver->DlgVideoSource(window);
  EXPECT_EQ(Current(), before);
  EXPECT_EQ(Saved(), before);
}

TEST_F(DriverDialogsTest, WithoutDialogsNothingChanges) {
  services.dialogs.reset();
  Connect();
  const DeviceSettings before = Current();
  driver->DlgVideoFormat(window);
  driver->DlgVideoCompression(window);
  EXPECT_EQ(Current(), before);
}

TEST(DialogModels, RefuseWhatTheDeviceDoesNotOffer) {
  const TestPatternDevice device;
  VideoFormatModel format(device.VideoFormats(), DeviceSettings{});
  EXPECT_THAT(format.SetSize({123, 45}), Optional(HasSubstr("640x480")));
  EXPECT_EQ(format.SetSize({1280, 720}), std::nullopt);
  EXPECT_THAT(format.SetPixelFormat("bgr48"), Optional(HasSubstr("bgr48")));
  EXPECT_EQ(format.SetPixelFormat("rgb24"), std::nullopt);

  VideoSourceModel source(device.Inputs(), device.Controls(), DeviceSettings{});
  EXPECT_TRUE(source.SetInput(3));
  EXPECT_TRUE(source.SetInput(-1));
  EXPECT_TRUE(source.SetControl("brightness", 101));
  EXPECT_TRUE(source.SetControl("hue", 0));
  EXPECT_EQ(source.SetControl("contrast", 150), std::nullopt);

  CompressionModel compression{DeviceSettings{}, EncodableVideoCodecs()};
  EXPECT_TRUE(compression.SetQuality(0));
  EXPECT_TRUE(compression.SetQuality(101));
  EXPECT_EQ(compression.SetQuality(100), std::nullopt);
}

TEST(DialogModels, ASizeTheNewPixelFormatLacksFallsBackToTheDevicesOwn) {
  const std::vector<VideoFormatOffer> offers{{"mjpeg", {{1280, 720}, {640, 480}}}, {"yuyv422", {{640, 480}}}};
  DeviceSettings settings;
  settings.pixelFormat = "mjpeg";
  settings.size = {1280, 720};
  VideoFormatModel model(offers, settings);
  EXPECT_EQ(model.SetPixelFormat("yuyv422"), std::nullopt);
  EXPECT_FALSE(model.Size().IsSet());
  EXPECT_EQ(model.SetPixelFormat(""), std::nullopt);
  EXPECT_EQ(model.SetSize({1280, 720}), std::nullopt);  // automatic: any format's sizes
}

TEST(DriverSettingsFile, KeepsEveryDeviceAndSurvivesDamage) {
  TempDir dir;
  const DriverSettingsStore store(dir.Path() / "tovalen" / "capture-devices.conf");
  DeviceSettings camera;
  camera.size = {1280, 720};
  camera.pixelFormat = "mjpeg";
  camera.controls["gain"] = -3;
  camera.codec = VideoCodec::kH264;
  camera.quality = 7;
  camera.display.scaleToWindow = false;
  ASSERT_TRUE(store.Save("v4l2:Cam [HD]\n@usb-1", camera));
  DeviceSettings pattern;
  pattern.input = 1;
  ASSERT_TRUE(store.Save("test-pattern", pattern));
  EXPECT_THAT(store.Load("v4l2:Cam [HD]\n@usb-1"), Optional(camera));
  EXPECT_THAT(store.Load("test-pattern"), Optional(pattern));
  EXPECT_EQ(store.Load("another"), std::nullopt);

  // Bad values and unknown names are skipped; the rest still counts.
  const DeviceSettings parsed = ParseDeviceSettings("size=big\nquality=500\ncodec=vp9\nfuture=1\ninput=2\n");
  EXPECT_EQ(parsed.size, DeviceSettings{}.size);
  EXPECT_EQ(parsed.quality, DeviceSettings{}.quality);
  EXPECT_EQ(parsed.codec, VideoCodec::kMjpeg);
  EXPECT_EQ(parsed.input, 2);
}

// Sets an environment variable for its lifetime.
class ScopedEnv {
 public:
  ScopedEnv(const char* name, const char* value) : m_name(name) {
    if (const char* old = std::getenv(name)) m_old = old;
    value ? ::setenv(name, value, 1) : ::unsetenv(name);
  }
  ~ScopedEnv() { m_old ? ::setenv(m_name, m_old->c_str(), 1) : ::unsetenv(m_name); }

 private:
  const char* m_name;
  std::optional<std::string> m_old;
};

TEST(DriverSettingsFile, LivesInTheUsersConfigurationFolder) {
  {
    ScopedEnv config("XDG_CONFIG_HOME", "/xdg");
    EXPECT_EQ(DriverSettingsStore::DefaultFile(), "/xdg/tovalen/capture-devices.conf");
  }
  ScopedEnv config("XDG_CONFIG_HOME", nullptr);
  {
    ScopedEnv home("HOME", "/home/u");
    EXPECT_EQ(DriverSettingsStore::DefaultFile(), "/home/u/.config/tovalen/capture-devices.conf");
  }
  ScopedEnv home("HOME", nullptr);
  EXPECT_EQ(DriverSettingsStore::DefaultFile(), "");
  const auto unsaved = DriverSettingsStore().Save("test-pattern", {});
  ASSERT_FALSE(unsaved);
  EXPECT_THAT(unsaved.Error().detail, HasSubstr("neither XDG_CONFIG_HOME nor HOME is set"));
}

}  // namespace
}  // namespace tovalen::testing
