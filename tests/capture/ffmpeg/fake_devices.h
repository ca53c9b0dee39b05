#pragma once

#include <atomic>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "capture/driver_dialog_models.h"
#include "capture/ffmpeg/capture_device.h"
#include "capture/ffmpeg/device_catalog.h"
#include "capture/ffmpeg/test_pattern_device.h"
#include "capture/preview_surface.h"

namespace tovalen::testing {

// What goes wrong with a stream after a number of packets. kPause swallows pauseFrames packets
// of the paced source, so the pause lasts that many frame periods, then delivers again.
enum class StreamFault { kNone, kStall, kPause, kEnd, kError, kOutOfMemory };

// How a stream behaves when the driver opens it again after its fault.
enum class Reopening { kWorks, kFails, kSameFault };

struct FaultPlan {
  int videoOpenError = 0;  // an FFmpeg error code returned instead of the video
  StreamFault videoFault = StreamFault::kNone;
  int videoFaultAfter = 0;
  int pauseFrames = 0;
  Reopening videoReopening = Reopening::kSameFault;
  int firstFrameLateMs = 0;  // the first frame comes late, the later ones on time
  StreamFault audioFault = StreamFault::kNone;
  int audioFaultAfter = 0;
  Reopening audioReopening = Reopening::kSameFault;
  int audioOpenError = 0;
  bool noAudioInput = false;
};

// The test pattern with faults injected into its streams: a device that cannot be opened or is
// busy, stops delivering (stalls or pauses), disappears (ends or fails), runs out of memory
// reading, or whose sound does so; or whose first frame is late, so that the frames' times run
// ahead of their arrival. After its fault, a stream opened again works, cannot be opened (the
// device stays gone), or has the same fault again.
class FaultyDevice : public ffmpeg::TestPatternDevice {
 public:
  explicit FaultyDevice(FaultPlan plan) : m_plan(plan) {}

  ffmpeg::OpenedSource OpenVideo(const ffmpeg::VideoRequest& request) override;
  ffmpeg::OpenedSource OpenAudio(const ffmpeg::AudioRequest& request) override;

  std::atomic<int> videoOpenings{0};
  std::atomic<int> audioOpenings{0};

 private:
  FaultPlan m_plan;
};

// Replays the video of a file at its own pace, as a camera that delivers that stream would
// (an MJPEG file stands for an MJPEG camera). No sound.
class FileReplayDevice : public ffmpeg::TestPatternDevice {
 public:
  explicit FileReplayDevice(std::string path) : m_path(std::move(path)) {}

  std::string Name() const override { return "Replay"; }
  std::string SettingsKey() const override { return "replay"; }
  ffmpeg::OpenedSource OpenVideo(const ffmpeg::VideoRequest& request) override;
  ffmpeg::OpenedSource OpenAudio(const ffmpeg::AudioRequest&) override { return {}; }

 private:
  std::string m_path;
};

// A catalog with the devices a test chose.
class FixedCatalog : public ffmpeg::DeviceCatalog {
 public:
  explicit FixedCatalog(std::vector<std::shared_ptr<ffmpeg::CaptureDevice>> devices) : m_devices(std::move(devices)) {}
  std::vector<std::shared_ptr<ffmpeg::CaptureDevice>> Enumerate() override { return m_devices; }

 private:
  std::vector<std::shared_ptr<ffmpeg::CaptureDevice>> m_devices;
};

// Counts the frames drawn into it.
class CountingSurface : public PreviewSurface {
 public:
  void ShowFrame(std::shared_ptr<const PreviewImage> image) override;
  void Resize(int width, int height) override;

  std::atomic<int> frames{0};
  std::atomic<int> lastWidth{0};
  std::atomic<int> lastHeight{0};
  std::atomic<bool> badImage{false};  // an image whose pixels do not fill its size
  int resizedWidth = 0;
  int resizedHeight = 0;
};

// Makes CountingSurfaces and keeps a pointer to the last one.
class CountingWindowHost : public CaptureWindowHost {
 public:
  std::unique_ptr<PreviewSurface> CreateSurface(const SCaptureWindowPlacement&, ParentWindowHandle) override;
  CountingSurface* last = nullptr;
};

// Dialogs that make the changes a test prepared, as a user would, and confirm; or cancel.
class ScriptedDialogs : public DriverDialogs {
 public:
  bool EditVideoFormat(VideoFormatModel& model) override;
  bool EditVideoSource(VideoSourceModel& model) override;
  bool EditVideoDisplay(VideoDisplayModel& model) override;
  bool EditCompression(CompressionModel& model) override;

  bool confirm = true;
  std::optional<FrameSize> size;
  std::optional<std::string> pixelFormat;
  std::optional<int> input;
  std::optional<std::pair<std::string, int>> control;
  std::optional<bool> keepAspect;
  std::optional<VideoCodec> codec;
  std::optional<int> quality;
  int shown = 0;
};

}  // namespace tovalen::testing
