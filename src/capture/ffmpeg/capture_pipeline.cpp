#include "capture/ffmpeg/capture_pipeline.h"

extern "C" {
#include <libavutil/imgutils.h>
}

#include <algorithm>

#include "capture/ffmpeg/reader_timing.h"
#include "capture/ffmpeg/video_codecs.h"
#include "capture/ffmpeg/wrapped_frame.h"
#include "platform/trace.h"

namespace tovalen::ffmpeg {
namespace {

// Notices wait here while the caller's thread is busy; the oldest go first when it falls far behind.
constexpr std::size_t kMaxNotices = 512;
// Frames waiting for an encoder: enough to ride out a busy moment, but no more than this many
// bytes of pictures, so a large picture does not hold more memory than the command line would;
// yet never fewer than two encoders need to take turns without a frame dropped between them.
constexpr std::int64_t kVideoQueueUs = 500'000;
constexpr std::size_t kVideoQueueBytes = 24 << 20;
constexpr std::size_t kFewestQueuedFrames = 4;

std::size_t VideoQueueFrames(const AVCodecParameters& source, std::uint32_t microSecPerFrame) {
  const std::size_t frames =
      std::max<std::size_t>(kFewestQueuedFrames, kVideoQueueUs / std::max<std::uint32_t>(microSecPerFrame, 1));
  if (source.codec_id != AV_CODEC_ID_RAWVIDEO && !IsWrappedFrame(source)) return frames;  // compressed: small
  const int bytes = av_image_get_buffer_size(static_cast<AVPixelFormat>(source.format), source.width, source.height, 1);
  return bytes > 0 ? std::clamp<std::size_t>(kVideoQueueBytes / bytes, kFewestQueuedFrames, frames) : frames;
}

// The source's own rate and channels (at most two: the file's PCM is mono or stereo) at the bits asked for.
SWaveFormat InTheSourcesFormat(SWaveFormat format, const AVCodecParameters& source) {
  format.nSamplesPerSec = static_cast<std::uint32_t>(source.sample_rate);
  format.nChannels = static_cast<std::uint16_t>(std::clamp(source.ch_layout.nb_channels, 1, 2));
  format.nBlockAlign = static_cast<std::uint16_t>(format.nChannels * format.wBitsPerSample / 8);
  format.nAvgBytesPerSec = format.nSamplesPerSec * format.nBlockAlign;
  return format;
}

}  // namespace

CapturePipeline::CapturePipeline(const CaptureJob& job, MainLoop& loop)
    : m_job(job), m_loop(loop), m_startUs(SteadyMicroseconds()) {}

CapturePipeline::~CapturePipeline() {
  RequestStop(StopReason::kStopRequested);
  m_threads.clear();  // joins
}

Result<std::unique_ptr<CapturePipeline>> CapturePipeline::Start(const CaptureJob& job, int fd, MainLoop& loop) {
  std::unique_ptr<CapturePipeline> pipeline(new CapturePipeline(job, loop));
  if (auto opened = pipeline->Open(fd); !opened) return opened.Error();
  pipeline->Launch();
  return pipeline;
}

Result<> CapturePipeline::Open(int fd) {
  if (auto video = OpenVideo(); !video) return video;
  if (auto audio = OpenAudio(); !audio) return audio;
  if (m_job.preview) {
    auto preview = PreviewRenderer::Create(m_videoSource->Parameters(), *m_job.preview);
    if (preview)
      m_preview = std::move(*preview);
    else
      Trace("E: capture: no preview: " + preview.Error().detail + "\n");
  }
  const VideoEncoder& encoder = *m_videoEncoders.front();
  const StreamSetup video{&encoder.OutputParameters(), encoder.TimeBase()};
  std::optional<StreamSetup> audio;
  if (m_audioConverter) audio = StreamSetup{&m_audioConverter->OutputParameters(), m_audioConverter->TimeBase()};
  auto writer = AviWriter::Open(fd, video, audio ? &*audio : nullptr);
  if (!writer) return writer.Error();
  m_writer = std::move(*writer);
  return m_writer->CheckRoom(m_job.spaceProbe);
}

Result<> CapturePipeline::OpenVideo() {
  VideoRequest request;
  request.settings = m_job.settings;
  request.frameRate = {1'000'000, static_cast<int>(m_job.microSecPerFrame)};
  request.encoderPixelFormat = EncoderPixelFormat(m_job.settings.codec, AV_PIX_FMT_NONE);
  OpenedSource opened = m_job.device->OpenVideo(request);
  if (!opened) return opened.Error();
  if (!*opened) return DriverError{StopReason::kDeviceOpenFailed, "the device has no video"};
  m_videoSource = std::make_unique<ReopeningSource>(
      std::move(*opened), [device = m_job.device, request] { return device->OpenVideo(request); },
      StreamTroubles{"the video", StopReason::kDeviceStalled, StopReason::kDeviceLost}, Reopening());
  const AVCodecParameters& parameters = m_videoSource->Parameters();
  m_imageSize = {parameters.width, parameters.height};
  m_videoQueue.SetCapacity(VideoQueueFrames(parameters, m_job.microSecPerFrame));
  const AVRational frameTimeBase{static_cast<int>(m_job.microSecPerFrame), 1'000'000};
  // A second worker, when each frame stands alone and there is a second core to run it.
  const std::size_t workers = std::thread::hardware_concurrency() > 1 ? 2 : 1;
  do {
    auto encoder = VideoEncoder::Create(parameters, m_job.settings.codec, m_job.settings.quality, frameTimeBase);
    if (!encoder) return encoder.Error();
    m_videoEncoders.push_back(std::move(*encoder));
  } while (m_videoEncoders.size() < workers && m_videoEncoders.front()->EncodesFramesAlone());
  return {};
}

Result<> CapturePipeline::OpenAudio() {
  if (!m_job.audio) return {};
  const AudioRequest request{static_cast<int>(m_job.audio->nSamplesPerSec), m_job.audio->nChannels};
  OpenedSource opened = m_job.device->OpenAudio(request);
  if (!opened) return DriverError{StopReason::kAudioFailed, opened.Error().detail};
  if (!*opened) return {};  // no audio input: video only
  if (m_job.audioAsTheDeviceSends) m_job.audio = InTheSourcesFormat(*m_job.audio, (*opened)->Parameters());
  auto converter = AudioConverter::Create((*opened)->Parameters(), *m_job.audio);
  if (!converter) return converter.Error();
  m_audioConverter = std::move(*converter);
  m_audioSource = std::make_unique<ReopeningSource>(
      std::move(*opened), [device = m_job.device, request] { return device->OpenAudio(request); },
      StreamTroubles{"the sound", StopReason::kAudioFailed, StopReason::kAudioFailed}, Reopening());
  return {};
}

ReopenTimes CapturePipeline::Reopening() const {
  const CaptureTimeouts& times = m_job.timeouts;
  return {times.firstFrame, times.stall, times.firstRetry, times.longestRetry};
}

void CapturePipeline::Launch() {
  const int encoders = static_cast<int>(m_videoEncoders.size());
  m_stop.ExpectWorkers(encoders, encoders + (m_audioSource ? 1 : 0));
  m_threads.emplace_back([this] { Write(); });
  for (const auto& encoder : m_videoEncoders) m_threads.emplace_back([this, &encoder] { EncodeVideo(*encoder); });
  m_threads.emplace_back([this] { ReadVideo(); });
  if (m_audioSource) {
    m_threads.emplace_back([this] { ConvertAudio(); });
    m_threads.emplace_back([this] { ReadAudio(); });
  }
}

void CapturePipeline::NoteStopReason(StopReason reason, const std::string& detail) {
  std::lock_guard lock(m_mutex);
  NoteStopReasonLocked(reason, detail);
}

void CapturePipeline::NoteStopReasonLocked(StopReason reason, const std::string& detail) {
  // A failure outranks an ordinary stop: a capture whose file could not be finished after the
  // user ended it is still a failure. Otherwise the first reason stays.
  if (m_reason && (IsFailure(*m_reason) || !IsFailure(reason))) return;
  m_reason = reason;
  m_outcome.detail = detail;
}

void CapturePipeline::Count(std::uint32_t CaptureOutcome::*counter, std::uint32_t count) {
  std::lock_guard lock(m_mutex);
  m_outcome.*counter += count;
}

void CapturePipeline::CountAudioSamples(std::uint64_t samples) {
  std::lock_guard lock(m_mutex);
  m_outcome.audioSamples = samples;
}

void CapturePipeline::RequestStop(StopReason reason, const std::string& detail) {
  StopAt(SteadyMicroseconds(), reason, detail);
}

void CapturePipeline::StopAt(std::int64_t stopUs, StopReason reason, const std::string& detail) {
  NoteStopReason(reason, detail);
  m_stop.StopAt(stopUs);
  m_loop.Wake();
}

void CapturePipeline::Fail(const DriverError& error) {
  Trace("E: capture: " + Describe(error.reason) + (error.detail.empty() ? "" : ": " + error.detail) + "\n");
  RequestStop(error.reason, error.detail);
}

bool CapturePipeline::CountCaptured(const CapturedPacket& item) {
  if (!m_stop.Admit(item.captureUs)) return false;
  const auto sinceStart = static_cast<std::uint32_t>((item.captureUs - m_stop.FirstFrameUs().value()) / 1000);
  {
    std::lock_guard lock(m_mutex);
    ++m_outcome.framesCaptured;
    if (m_notices.size() >= kMaxNotices) {
      m_notices.pop_front();
      ++m_outcome.noticesDropped;
    }
    m_notices.push_back(
        {sinceStart, static_cast<std::uint32_t>(PictureBytes(m_videoSource->Parameters(), *item.packet))});
  }
  if (const std::int64_t nowUs = SteadyMicroseconds(); nowUs - m_noticesToldUs >= kNoticeWakeIntervalUs) {
    m_noticesToldUs = nowUs;
    m_loop.Wake();
  }
  return true;
}

std::vector<FrameNotice> CapturePipeline::TakeFrameNotices() {
  std::lock_guard lock(m_mutex);
  std::vector<FrameNotice> notices(m_notices.begin(), m_notices.end());
  m_notices.clear();
  return notices;
}

std::uint32_t CapturePipeline::ElapsedMs() const {
  const std::optional<std::int64_t> start = m_stop.FirstFrameUs();
  if (!start) return 0;
  const std::int64_t end = std::min(m_stop.StopUs().value_or(INT64_MAX), SteadyMicroseconds());
  return static_cast<std::uint32_t>(std::max<std::int64_t>(0, end - *start) / 1000);
}

CaptureOutcome CapturePipeline::Progress() const {
  CaptureOutcome progress;
  {
    std::lock_guard lock(m_mutex);
    progress = m_outcome;
  }
  progress.elapsedMs = ElapsedMs();
  return progress;
}

void CapturePipeline::SetPreviewWindowSize(FrameSize window) {
  if (m_preview) m_preview->SetWindowSize(window);
}

bool CapturePipeline::LostAtTheEnd() const {
  std::lock_guard lock(m_mutex);
  return m_lostAtTheEnd;
}

CaptureOutcome CapturePipeline::Finish() {
  m_threads.clear();  // joins; the writer has finished the file
  CaptureOutcome outcome = Progress();
  std::lock_guard lock(m_mutex);
  if (outcome.reconnects > 0)
    Trace("I: capture: the stream connected again " + std::to_string(outcome.reconnects) + " times\n");
  // With nothing recorded, a device that stalled or failed is why.
  if (outcome.framesWritten == 0)
    NoteStopReasonLocked(m_trouble ? m_trouble->reason : StopReason::kNothingRecorded,
                         m_trouble ? m_trouble->detail : "");
  outcome.reason = m_reason.value_or(StopReason::kStopRequested);
  outcome.detail = m_outcome.detail;
  // A capture that ended as asked (or at its end) after a device came back, or while it was
  // still gone, keeps the device's trouble as its reason.
  if (m_trouble && !IsFailure(outcome.reason)) {
    outcome.reason = m_trouble->reason;
    outcome.detail = m_trouble->detail;
    outcome.interrupted = true;
  }
  // A stream that never came back failed the recording, however it ended.
  if (m_lostAtTheEnd && !IsFailure(m_reason.value_or(StopReason::kStopRequested))) {
    outcome.reason = StopReason::kDeviceLost;
    outcome.detail = m_trouble ? m_trouble->detail : "";
    outcome.interrupted = false;
  }
  return outcome;
}

}  // namespace tovalen::ffmpeg
