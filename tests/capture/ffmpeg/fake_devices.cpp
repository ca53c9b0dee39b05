#include "fake_devices.h"

#include <chrono>
#include <new>
#include <optional>
#include <thread>
#include <utility>

#include "capture/ffmpeg/format_media_source.h"
#include "capture/ffmpeg/reader_timing.h"

namespace tovalen::testing {
namespace {

using namespace tovalen::ffmpeg;

class FaultySource : public MediaSource {
 public:
  FaultySource(std::unique_ptr<MediaSource> inner, StreamFault fault, int after, int pauseFrames, int firstLateMs)
      : m_inner(std::move(inner)),
        m_fault(fault),
        m_left(after),
        m_pauseLeft(pauseFrames),
        m_firstLateMs(firstLateMs) {}

  const AVCodecParameters& Parameters() const override { return m_inner->Parameters(); }
  AVRational TimeBase() const override { return m_inner->TimeBase(); }
  ReadResult Read(AVPacket& packet) override {
    if (m_fault == StreamFault::kPause && m_left <= 0 && m_pauseLeft > 0) {
      const ReadResult swallowed = m_inner->Read(packet);
      if (swallowed.status == ReadStatus::kPacket) {
        av_packet_unref(&packet);
        --m_pauseLeft;
      }
      return {ReadStatus::kAgain, 0};
    }
    if (m_fault != StreamFault::kNone && m_fault != StreamFault::kPause && m_left <= 0) {
      switch (m_fault) {
        case StreamFault::kStall:
          return {ReadStatus::kAgain, 0};
        case StreamFault::kEnd:
          return {ReadStatus::kEnd, 0};
        case StreamFault::kOutOfMemory:
          throw std::bad_alloc();
        default:
          return {ReadStatus::kError, AVERROR(ENODEV)};
      }
    }
    const ReadResult result = m_inner->Read(packet);
    if (result.status != ReadStatus::kPacket) return result;
    --m_left;
    if (const int late = std::exchange(m_firstLateMs, 0); late > 0)
      std::this_thread::sleep_for(std::chrono::milliseconds(late));
    return result;
  }

 private:
  std::unique_ptr<MediaSource> m_inner;
  StreamFault m_fault;
  int m_left;
  int m_pauseLeft;
  int m_firstLateMs;
};

OpenedSource WithFault(OpenedSource opened, StreamFault fault, int after, int pauseFrames = 0, int firstLateMs = 0) {
  if (opened && *opened && (fault != StreamFault::kNone || firstLateMs > 0))
    *opened = std::make_unique<FaultySource>(std::move(*opened), fault, after, pauseFrames, firstLateMs);
  return opened;
}

// The fault of a stream's first opening, and of a later one as the plan says; nothing when the
// later opening fails.
std::optional<StreamFault> FaultOfOpening(int opening, StreamFault fault, Reopening reopening) {
  if (opening == 1 || reopening == Reopening::kSameFault) return fault;
  if (reopening == Reopening::kWorks) return StreamFault::kNone;
  return std::nullopt;
}

// Hands out each packet when its timestamp is due, counted from the first.
class PacedSource : public MediaSource {
 public:
  explicit PacedSource(std::unique_ptr<MediaSource> inner) : m_inner(std::move(inner)), m_held(MakePacket()) {}

  const AVCodecParameters& Parameters() const override { return m_inner->Parameters(); }
  AVRational TimeBase() const override { return m_inner->TimeBase(); }
  ReadResult Read(AVPacket& packet) override {
    if (!m_holding) {
      const ReadResult result = m_inner->Read(*m_held);
      if (result.status != ReadStatus::kPacket) return result;
      m_holding = true;
    }
    const std::int64_t dueUs = av_rescale_q(m_held->pts, TimeBase(), {1, 1'000'000});
    if (m_startUs < 0) m_startUs = SteadyMicroseconds() - dueUs;
    if (SteadyMicroseconds() < m_startUs + dueUs) return {ReadStatus::kAgain, 0};
    av_packet_move_ref(&packet, m_held.get());
    m_holding = false;
    return {ReadStatus::kPacket, 0};
  }

 private:
  std::unique_ptr<MediaSource> m_inner;
  PacketPtr m_held;
  bool m_holding = false;
  std::int64_t m_startUs = -1;
};

}  // namespace

OpenedSource FaultyDevice::OpenVideo(const VideoRequest& request) {
  if (m_plan.videoOpenError != 0) return DeviceOpenFailure("faulty device", m_plan.videoOpenError);
  const int opening = ++videoOpenings;
  const auto fault = FaultOfOpening(opening, m_plan.videoFault, m_plan.videoReopening);
  if (!fault) return DeviceOpenFailure("faulty device", AVERROR(ENODEV));
  return WithFault(TestPatternDevice::OpenVideo(request), *fault, m_plan.videoFaultAfter, m_plan.pauseFrames,
                   opening == 1 ? m_plan.firstFrameLateMs : 0);
}

OpenedSource FaultyDevice::OpenAudio(const AudioRequest& request) {
  if (m_plan.noAudioInput) return {};
  if (m_plan.audioOpenError != 0) return DeviceOpenFailure("faulty audio input", m_plan.audioOpenError);
  const auto fault = FaultOfOpening(++audioOpenings, m_plan.audioFault, m_plan.audioReopening);
  if (!fault) return DeviceOpenFailure("faulty audio input", AVERROR(ENODEV));
  return WithFault(TestPatternDevice::OpenAudio(request), *fault, m_plan.audioFaultAfter);
}

OpenedSource FileReplayDevice::OpenVideo(const VideoRequest&) {
  DeviceInput input{"avi", m_path, {}, AVMEDIA_TYPE_VIDEO, false};
  OpenedSource opened = FormatMediaSource::Open(input);
  if (opened) *opened = std::make_unique<PacedSource>(std::move(*opened));
  return opened;
}

void CountingSurface::ShowFrame(std::shared_ptr<const PreviewImage> image) {
  if (image->rgb.size() != static_cast<std::size_t>(image->width) * image->height * 3) badImage = true;
  lastWidth = image->width;
  lastHeight = image->height;
  ++frames;
}

void CountingSurface::Resize(int width, int height) {
  resizedWidth = width;
  resizedHeight = height;
}

std::unique_ptr<PreviewSurface> CountingWindowHost::CreateSurface(const SCaptureWindowPlacement&, ParentWindowHandle) {
  auto surface = std::make_unique<CountingSurface>();
  last = surface.get();
  return surface;
}

bool ScriptedDialogs::EditVideoFormat(VideoFormatModel& model) {
  ++shown;
  if (pixelFormat && model.SetPixelFormat(*pixelFormat)) return false;
  if (size && model.SetSize(*size)) return false;
  return confirm;
}

bool ScriptedDialogs::EditVideoSource(VideoSourceModel& model) {
  ++shown;
  if (input && model.SetInput(*input)) return false;
  if (control && model.SetControl(control->first, control->second)) return false;
  return confirm;
}

bool ScriptedDialogs::EditVideoDisplay(VideoDisplayModel& model) {
  ++shown;
  if (keepAspect) model.SetKeepAspect(*keepAspect);
  return confirm;
}

bool ScriptedDialogs::EditCompression(CompressionModel& model) {
  ++shown;
  if (codec && model.SetCodec(*codec)) return false;
  if (quality && model.SetQuality(*quality)) return false;
  return confirm;
}

}  // namespace tovalen::testing
