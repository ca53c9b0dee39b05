#include "capture/ffmpeg/stream_session.h"

#include <algorithm>
#include <atomic>
#include <condition_variable>
#include <mutex>
#include <new>
#include <thread>

#include "capture/ffmpeg/reader_timing.h"
#include "capture/ffmpeg/stream_decoding.h"
#include "capture/ffmpeg/stream_input.h"
#include "capture/ffmpeg/stream_packet_buffer.h"
#include "capture/ffmpeg/stream_timeline.h"
#include "capture/stream_url.h"
#include "platform/trace.h"

namespace tovalen::ffmpeg {
namespace {

constexpr AVRational kMicroseconds{1, 1'000'000};
constexpr AVPixelFormat kPictureFormat = AV_PIX_FMT_YUV420P;
// A copy over HTTP that has read all there was waits this long, from when it last woke, before
// it reads again: TCP keeps what comes meanwhile, and one wake-up takes it all where one would
// come for each burst the server sends. A read that waited longer than kWaitedUs for data that
// filled less than the input's buffer found the stream's live edge. Not longer: a batch is written
// before the caller's thread hears of its frames, so a stop by the frame callback takes effect up
// to a batch late.
constexpr std::int64_t kBatchIntervalUs = 250'000;
constexpr std::int64_t kWaitedUs = 1'000;

std::int64_t Us(std::chrono::milliseconds duration) { return std::chrono::microseconds(duration).count(); }

std::string Milliseconds(std::int64_t microseconds) { return std::to_string(microseconds / 1000) + " ms"; }

std::shared_ptr<const AVCodecParameters> ParametersOf(const AVStream* stream) {
  if (!stream) return nullptr;
  CodecParametersPtr copy(avcodec_parameters_alloc());
  if (!copy || avcodec_parameters_copy(copy.get(), stream->codecpar) < 0) throw std::bad_alloc();
  return std::shared_ptr<const AVCodecParameters>(copy.release(), [](const AVCodecParameters* parameters) {
    auto* owned = const_cast<AVCodecParameters*>(parameters);
    avcodec_parameters_free(&owned);
  });
}

bool Decodable(const AVCodecParameters& parameters) {
  if (!avcodec_find_decoder(parameters.codec_id)) return false;
  if (parameters.codec_type == AVMEDIA_TYPE_VIDEO) return parameters.width > 0 && parameters.height > 0;
  return parameters.sample_rate > 0 && parameters.ch_layout.nb_channels > 0;
}

// Over TCP only: a UDP socket's buffer would overflow while the reader waits.
bool ReadsInBatches(const std::string& url, StreamPackets form) {
  const std::string scheme = LowerSchemeOf(url);
  return form == StreamPackets::kAsTheyCome && (scheme == "http" || scheme == "https");
}

bool LastFillWasShort(const AVIOContext* input) { return input && input->buf_end - input->buffer < input->buffer_size; }

// One connection: its input and the picture and sound streams taken from it.
struct Connection {
  StreamInput input;
  const AVStream* video = nullptr;  // owned by the input
  const AVStream* audio = nullptr;
  std::shared_ptr<const AVCodecParameters> videoParameters;
  std::shared_ptr<const AVCodecParameters> audioParameters;
};

const AVStream* BestStream(AVFormatContext& context, AVMediaType type, StreamPackets form) {
  const int index = av_find_best_stream(&context, type, -1, -1, nullptr, 0);
  if (index < 0) return nullptr;
  const AVStream* stream = context.streams[index];
  if (form == StreamPackets::kDecoded && !Decodable(*stream->codecpar)) return nullptr;
  return stream;
}

// Connects and reads until the streams are known, within times.connect in all.
Result<Connection> Connect(const std::string& url, StreamPackets form, const StreamTimes& times,
                           RtspTransport transport, std::shared_ptr<StreamInterrupt> interrupt) {
  const auto deadline = std::chrono::steady_clock::now() + times.connect;
  StreamInputOptions options;
  options.deadline = times.connect;
  options.rtspTransport = transport;
  Result<StreamInput> input = OpenStreamInput(url, options, interrupt);
  if (!input) return input.Error();
  AVFormatContext& context = *input->Context();
  input->Interrupt().Arm(
      std::chrono::duration_cast<std::chrono::milliseconds>(deadline - std::chrono::steady_clock::now()));
  if (const int rc = avformat_find_stream_info(&context, nullptr); rc < 0) {
    if (rc == AVERROR_EXIT || input->Interrupt().Expired())
      return DriverError{
          StopReason::kDeviceOpenFailed,
          "the stream " + MaskedUrl(url) + " sent nothing readable within " + Milliseconds(Us(times.connect))};
    return AvFailure(StopReason::kDeviceOpenFailed, "the stream " + MaskedUrl(url) + " could not be read", rc);
  }
  const AVStream* video = BestStream(context, AVMEDIA_TYPE_VIDEO, form);
  const AVStream* audio = BestStream(context, AVMEDIA_TYPE_AUDIO, form);
  if (form == StreamPackets::kDecoded && !video)
    return DriverError{StopReason::kDeviceOpenFailed, "no picture could be decoded from the stream " + MaskedUrl(url)};
  if (!video && !audio)
    return DriverError{StopReason::kDeviceOpenFailed,
                       "the stream " + MaskedUrl(url) + " has neither picture nor sound"};
  input->Interrupt().Disarm();
  Connection connection{std::move(*input), video, audio, ParametersOf(video), ParametersOf(audio)};
  return connection;
}

class StreamSessionImpl : public StreamSession {
 public:
  StreamSessionImpl(std::string url, StreamPackets form, StreamTimes times, RtspTransport transport, Connection first);
  ~StreamSessionImpl() override;

  const StreamTrack* Video() const override { return m_video.parameters ? &m_video : nullptr; }
  const StreamTrack* Audio() const override { return m_audio.parameters ? &m_audio : nullptr; }
  ReadResult Read(AVMediaType type, AVPacket& packet) override;
  void HandTo(StreamPacketSink* sink) override;
  std::uint32_t Reconnects() const override { return m_reconnects.load(); }
  std::optional<DriverError> FirstTrouble() const override;
  bool Gone() const override { return m_gone.load(); }

 private:
  // The raw packets of one of the streams, decoded and waiting for their time.
  struct DecodedSide {
    std::mutex mutex;
    std::unique_ptr<StreamDecoder> decoder;
    std::deque<PacketPtr> ready;
  };

  void Run(Connection first);
  void ReadUntilTrouble(Connection& connection, std::uint64_t number);
  std::int64_t HandOn(const Connection& connection, AVPacket& packet, StreamTimeline& timeline, std::uint64_t number);
  std::int64_t WaitForTheNextBatch(std::int64_t lastWakeUs);
  std::optional<Connection> Reconnect();
  bool Matches(const Connection& connection) const;
  void NoteTrouble(StopReason reason, const std::string& detail);
  bool Stopping() const { return m_stopping.load(); }
  ReadResult ReadDecoded(DecodedSide& side, AVMediaType type, AVPacket& packet);

  const std::string m_url;
  const std::string m_shownUrl;
  const StreamPackets m_form;
  const StreamTimes m_times;
  const RtspTransport m_transport;
  StreamTrack m_video;
  StreamTrack m_audio;
  AVCodecID m_videoCodec = AV_CODEC_ID_NONE;  // of the first connection
  AVCodecID m_audioCodec = AV_CODEC_ID_NONE;
  StreamPacketBuffer m_buffer;
  DecodedSide m_decodedVideo;
  DecodedSide m_decodedAudio;

  std::atomic<bool> m_stopping{false};
  std::atomic<bool> m_failed{false};
  std::atomic<bool> m_gone{false};
  std::atomic<std::uint32_t> m_reconnects{0};
  mutable std::mutex m_mutex;  // guards the members below
  std::condition_variable m_wake;
  std::shared_ptr<StreamInterrupt> m_interrupt;  // of the connection being made or read
  std::optional<DriverError> m_firstTrouble;
  std::mutex m_sinkMutex;  // held while the sink is called
  StreamPacketSink* m_sink = nullptr;

  std::jthread m_reader;  // last: ends before anything it uses goes
};

StreamSessionImpl::StreamSessionImpl(std::string url, StreamPackets form, StreamTimes times, RtspTransport transport,
                                     Connection first)
    : m_url(std::move(url)),
      m_shownUrl(MaskedUrl(m_url)),
      m_form(form),
      m_times(times),
      m_transport(transport),
      m_interrupt(first.input.SharedInterrupt()) {
  if (first.video) {
    const AVCodecParameters& source = *first.videoParameters;
    m_videoCodec = source.codec_id;
    if (form == StreamPackets::kDecoded) {
      m_video.parameters = RawPictureParameters(source.width, source.height, kPictureFormat);
      m_decodedVideo.decoder =
          std::make_unique<StreamDecoder>(RawPictureParameters(source.width, source.height, kPictureFormat));
    } else {
      m_video.parameters.reset(avcodec_parameters_alloc());
      if (!m_video.parameters || avcodec_parameters_copy(m_video.parameters.get(), &source) < 0) throw std::bad_alloc();
    }
  }
  if (first.audio) {
    const AVCodecParameters& source = *first.audioParameters;
    m_audioCodec = source.codec_id;
    if (form == StreamPackets::kDecoded) {
      m_audio.parameters = RawSoundParameters(source.sample_rate, source.ch_layout.nb_channels);
      m_decodedAudio.decoder =
          std::make_unique<StreamDecoder>(RawSoundParameters(source.sample_rate, source.ch_layout.nb_channels));
    } else {
      m_audio.parameters.reset(avcodec_parameters_alloc());
      if (!m_audio.parameters || avcodec_parameters_copy(m_audio.parameters.get(), &source) < 0) throw std::bad_alloc();
    }
  }
  Trace("I: stream: " + m_shownUrl + ": connected\n");
  m_reader = std::jthread([this, connection = std::move(first)]() mutable { Run(std::move(connection)); });
}

StreamSessionImpl::~StreamSessionImpl() {
  {
    std::lock_guard lock(m_mutex);
    m_stopping = true;
    if (m_interrupt) m_interrupt->Cancel();
  }
  m_wake.notify_all();
  if (m_reader.joinable()) m_reader.join();
  const std::uint64_t dropped = m_buffer.Dropped();
  const std::uint64_t undecoded = (m_decodedVideo.decoder ? m_decodedVideo.decoder->Failures() : 0) +
                                  (m_decodedAudio.decoder ? m_decodedAudio.decoder->Failures() : 0);
  Trace("I: stream: " + m_shownUrl + ": closed after " + std::to_string(m_reconnects.load()) + " reconnects, " +
        std::to_string(dropped) + " packets dropped for want of room, " + std::to_string(undecoded) +
        " that did not decode\n");
}

std::optional<DriverError> StreamSessionImpl::FirstTrouble() const {
  std::lock_guard lock(m_mutex);
  return m_firstTrouble;
}

void StreamSessionImpl::NoteTrouble(StopReason reason, const std::string& detail) {
  m_gone = true;
  std::lock_guard lock(m_mutex);
  if (!m_firstTrouble) m_firstTrouble = DriverError{reason, detail};
}

void StreamSessionImpl::Run(Connection first) try {
  std::optional<Connection> connection(std::move(first));
  for (std::uint64_t number = 0; connection; ++number) {
    ReadUntilTrouble(*connection, number);
    connection.reset();  // closed before the next connection is made
    if (Stopping()) return;
    connection = Reconnect();
  }
} catch (const std::bad_alloc&) {
  Trace("E: stream: " + m_shownUrl + ": out of memory; the stream is given up\n");
  NoteTrouble(StopReason::kDeviceLost, "out of memory");
  m_failed = true;
  std::lock_guard lock(m_sinkMutex);
  if (m_sink) m_sink->GivenUp({StopReason::kDeviceLost, "out of memory"});
}

void StreamSessionImpl::HandTo(StreamPacketSink* sink) {
  std::lock_guard lock(m_sinkMutex);
  m_sink = sink;
  if (!m_sink) return;
  while (auto kept = m_buffer.TakeOldest()) m_sink->Take(kept->first, std::move(kept->second.packet));
  if (m_failed) m_sink->GivenUp({StopReason::kDeviceLost, "out of memory"});
}

void StreamSessionImpl::ReadUntilTrouble(Connection& connection, std::uint64_t number) {
  AVFormatContext& context = *connection.input.Context();
  StreamTimeline timeline;
  PacketPtr packet = MakePacket();
  std::int64_t lastUs = SteadyMicroseconds();
  std::int64_t lastDueUs = lastUs;  // a burst (an HLS segment) lasts until then
  const bool batches = ReadsInBatches(m_url, m_form);
  std::int64_t wokeUs = lastUs;
  bool atTheLiveEdge = false;
  while (!Stopping()) {
    if (atTheLiveEdge) wokeUs = WaitForTheNextBatch(wokeUs);
    // Nothing for the stall period after what has come is played out is a stall.
    const std::int64_t readUs = SteadyMicroseconds();
    const auto playingUs = std::max<std::int64_t>(0, lastDueUs - readUs);
    connection.input.Interrupt().Arm(
        m_times.stall + std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::microseconds(playingUs)));
    const int rc = av_read_frame(&context, packet.get());
    if (Stopping()) return;
    const std::int64_t nowUs = SteadyMicroseconds();
    atTheLiveEdge = batches && rc >= 0 && nowUs - readUs > kWaitedUs && LastFillWasShort(context.pb);
    const bool taken = rc >= 0 && ((connection.video && packet->stream_index == connection.video->index) ||
                                   (connection.audio && packet->stream_index == connection.audio->index));
    std::string trouble;
    StopReason reason = StopReason::kDeviceLost;
    if (rc == AVERROR_EOF) {
      trouble = "the stream ended";
    } else if (rc == AVERROR_EXIT || (rc < 0 && connection.input.Interrupt().Expired())) {
      reason = StopReason::kDeviceStalled;
      trouble = "nothing for " + Milliseconds(nowUs - lastUs);
    } else if (rc < 0) {
      trouble = AvFailure(reason, "reading the stream", rc).detail;
    } else if (!taken && nowUs - std::max(lastUs, lastDueUs) > Us(m_times.stall)) {
      reason = StopReason::kDeviceStalled;
      trouble = "no picture or sound for " + Milliseconds(nowUs - lastUs);
    }
    if (!trouble.empty()) {
      Trace("I: stream: " + m_shownUrl + ": " + trouble + "; connecting again\n");
      NoteTrouble(reason, trouble);
      return;
    }
    if (taken) {
      lastUs = nowUs;
      lastDueUs = std::max(lastDueUs, HandOn(connection, *packet, timeline, number));
    }
    av_packet_unref(packet.get());
  }
}

std::int64_t StreamSessionImpl::HandOn(const Connection& connection, AVPacket& packet, StreamTimeline& timeline,
                                       std::uint64_t number) {
  const bool video = connection.video && packet.stream_index == connection.video->index;
  const AVStream& stream = video ? *connection.video : *connection.audio;
  const std::int64_t arrivalUs = SteadyMicroseconds();
  // Placed by the decoding order, so that the packets go on in the order they came.
  const std::int64_t dts = packet.dts != AV_NOPTS_VALUE ? packet.dts : packet.pts;
  std::int64_t dtsUs = arrivalUs;
  std::int64_t ptsUs = arrivalUs;
  if (dts != AV_NOPTS_VALUE) {
    const std::int64_t streamDtsUs = av_rescale_q(dts, stream.time_base, kMicroseconds);
    dtsUs = timeline.Map(streamDtsUs, arrivalUs);
    ptsUs = packet.pts == AV_NOPTS_VALUE
                ? dtsUs
                : av_rescale_q(packet.pts, stream.time_base, kMicroseconds) + dtsUs - streamDtsUs;
  }
  packet.dts = dtsUs;
  packet.pts = ptsUs;
  packet.duration = av_rescale_q(packet.duration, stream.time_base, kMicroseconds);
  packet.time_base = kMicroseconds;
  packet.stream_index = 0;
  m_gone = false;
  StreamPacket held{MakePacket(), dtsUs, number, video ? connection.videoParameters : connection.audioParameters};
  av_packet_move_ref(held.packet.get(), &packet);
  const AVMediaType type = video ? AVMEDIA_TYPE_VIDEO : AVMEDIA_TYPE_AUDIO;
  if (m_form == StreamPackets::kAsTheyCome) {
    std::lock_guard lock(m_sinkMutex);
    if (m_sink) {
      m_sink->Take(type, std::move(held.packet));
      return dtsUs;
    }
  }
  m_buffer.Push(type, std::move(held), arrivalUs);
  return dtsUs;
}

// Returns when it woke.
std::int64_t StreamSessionImpl::WaitForTheNextBatch(std::int64_t lastWakeUs) {
  const std::int64_t untilUs = lastWakeUs + kBatchIntervalUs;
  const std::int64_t nowUs = SteadyMicroseconds();
  if (untilUs <= nowUs) return nowUs;
  {
    std::lock_guard lock(m_sinkMutex);
    if (m_sink) m_sink->CaughtUp();
  }
  std::unique_lock lock(m_mutex);
  m_wake.wait_for(lock, std::chrono::microseconds(untilUs - nowUs), [this] { return Stopping(); });
  return SteadyMicroseconds();
}

bool StreamSessionImpl::Matches(const Connection& connection) const {
  if (m_form == StreamPackets::kDecoded) return connection.video != nullptr;
  // A copy holds one codec per stream.
  const auto same = [](const std::shared_ptr<const AVCodecParameters>& parameters, AVCodecID first) {
    return first == AV_CODEC_ID_NONE || (parameters && parameters->codec_id == first);
  };
  return same(connection.videoParameters, m_videoCodec) && same(connection.audioParameters, m_audioCodec);
}

std::optional<Connection> StreamSessionImpl::Reconnect() {
  std::int64_t waitUs = Us(m_times.firstRetry);
  for (int attempt = 1;; ++attempt) {
    auto interrupt = std::make_shared<StreamInterrupt>();
    {
      std::unique_lock lock(m_mutex);
      if (m_wake.wait_for(lock, std::chrono::microseconds(waitUs), [this] { return Stopping(); })) return std::nullopt;
      m_interrupt = interrupt;
    }
    waitUs = std::min(2 * waitUs, Us(m_times.longestRetry));
    Result<Connection> connection = Connect(m_url, m_form, m_times, m_transport, interrupt);
    if (Stopping()) return std::nullopt;
    std::string why;
    if (!connection)
      why = connection.Error().detail;
    else if (!Matches(*connection))
      why = "it now sends another codec";
    if (why.empty()) {
      ++m_reconnects;
      Trace("I: stream: " + m_shownUrl + ": connected again (attempt " + std::to_string(attempt) + ", reconnect " +
            std::to_string(m_reconnects.load()) + ")\n");
      return std::move(*connection);
    }
    Trace("I: stream: " + m_shownUrl + ": could not connect again (attempt " + std::to_string(attempt) + "): " + why +
          "\n");
    NoteTrouble(StopReason::kDeviceLost, why);
  }
}

ReadResult StreamSessionImpl::Read(AVMediaType type, AVPacket& packet) {
  if (m_failed) return {ReadStatus::kError, AVERROR(ENOMEM)};
  const bool video = type == AVMEDIA_TYPE_VIDEO;
  if (!(video ? Video() : Audio())) return {ReadStatus::kEnd, 0};
  if (m_form == StreamPackets::kDecoded) return ReadDecoded(video ? m_decodedVideo : m_decodedAudio, type, packet);
  std::optional<StreamPacket> due = m_buffer.TakeDue(type, SteadyMicroseconds());
  if (!due) return {ReadStatus::kAgain, 0};
  av_packet_move_ref(&packet, due->packet.get());
  return {ReadStatus::kPacket, 0};
}

ReadResult StreamSessionImpl::ReadDecoded(DecodedSide& side, AVMediaType type, AVPacket& packet) {
  std::lock_guard lock(side.mutex);
  const std::int64_t nowUs = SteadyMicroseconds();
  for (;;) {
    if (!side.ready.empty()) {
      AVPacket& first = *side.ready.front();
      if (first.pts == AV_NOPTS_VALUE) first.pts = first.dts = nowUs;
      if (first.pts > nowUs) return {ReadStatus::kAgain, 0};
      av_packet_move_ref(&packet, &first);
      side.ready.pop_front();
      return {ReadStatus::kPacket, 0};
    }
    std::optional<StreamPacket> due = m_buffer.TakeDue(type, nowUs);
    if (!due) return {ReadStatus::kAgain, 0};
    side.decoder->Decode(*due, side.ready);
  }
}

}  // namespace

Result<std::shared_ptr<StreamSession>> StreamSession::Open(const std::string& url, StreamPackets form,
                                                           StreamTimes times, RtspTransport transport) {
  return FailOnOutOfMemory(StopReason::kDeviceOpenFailed, [&]() -> Result<std::shared_ptr<StreamSession>> {
    Result<Connection> connection = Connect(url, form, times, transport, std::make_shared<StreamInterrupt>());
    if (!connection) {
      Trace("E: stream: " + WithoutCredentials(connection.Error().detail, url) + "\n");
      return DriverError{connection.Error().reason, WithoutCredentials(connection.Error().detail, url)};
    }
    return std::shared_ptr<StreamSession>(
        std::make_shared<StreamSessionImpl>(url, form, times, transport, std::move(*connection)));
  });
}

}  // namespace tovalen::ffmpeg
