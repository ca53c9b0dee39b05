#include "capture/ffmpeg/stream_copy_writer.h"

#include <algorithm>
#include <cstring>
#include <new>
#include <string_view>

namespace tovalen::ffmpeg {
namespace {

// Held before the file starts while the sound's first packet is awaited: a stream whose sound
// never comes is written without knowing more of it.
constexpr std::size_t kMostHeldPackets = 256;
constexpr std::int64_t kMostHeldUs = 2'000'000;
constexpr AVRational kMicroseconds{1, 1'000'000};

CodecParametersPtr CopyOf(const AVCodecParameters& parameters) {
  CodecParametersPtr copy(avcodec_parameters_alloc());
  if (!copy || avcodec_parameters_copy(copy.get(), &parameters) < 0) throw std::bad_alloc();
  return copy;
}

bool IsAdtsAac(const AVCodecParameters& parameters) {
  return parameters.codec_id == AV_CODEC_ID_AAC && parameters.extradata_size == 0;
}

}  // namespace

StreamCopyWriter::StreamCopyWriter(int fd, const ContainerFormat& container, const StreamTrack& video,
                                   const StreamTrack* audio)
    : m_fd(fd), m_container(container), m_video(CopyOf(*video.parameters)) {
  if (audio) m_audio = CopyOf(*audio->parameters);
}

StreamCopyWriter::~StreamCopyWriter() = default;

Result<> StreamCopyWriter::Prepare() {
  // MPEG-TS wants the ADTS frames as they are.
  if (!m_audio || !IsAdtsAac(*m_audio) || std::string_view(m_container.muxer) == "mpegts") {
    m_audioKnown = true;
    return {};
  }
  const AVBitStreamFilter* filter = av_bsf_get_by_name("aac_adtstoasc");
  AVBSFContext* context = nullptr;
  if (!filter) return DriverError{StopReason::kWriteFailed, "no filter for AAC sound"};
  if (const int rc = av_bsf_alloc(filter, &context); rc < 0)
    return AvFailure(StopReason::kWriteFailed, "AAC filter", rc);
  m_audioFilter.reset(context);
  if (avcodec_parameters_copy(context->par_in, m_audio.get()) < 0) throw std::bad_alloc();
  context->time_base_in = kMicroseconds;
  if (const int rc = av_bsf_init(context); rc < 0) return AvFailure(StopReason::kWriteFailed, "AAC filter", rc);
  return {};
}

Result<> StreamCopyWriter::Filter(CopiedPacket& item, std::vector<CopiedPacket>& out) {
  if (item.video || !m_audioFilter) {
    out.push_back(std::move(item));
    return {};
  }
  if (const int rc = av_bsf_send_packet(m_audioFilter.get(), item.packet.get()); rc < 0)
    return {};  // a damaged frame of sound is left out, as a player would skip it
  for (;;) {
    PacketPtr packet = MakePacket();
    if (av_bsf_receive_packet(m_audioFilter.get(), packet.get()) < 0) break;
    std::size_t size = 0;
    const std::uint8_t* extradata = av_packet_get_side_data(packet.get(), AV_PKT_DATA_NEW_EXTRADATA, &size);
    if (extradata && size > 0 && !m_audioKnown) {
      av_freep(&m_audio->extradata);
      m_audio->extradata = static_cast<std::uint8_t*>(av_mallocz(size + AV_INPUT_BUFFER_PADDING_SIZE));
      if (!m_audio->extradata) throw std::bad_alloc();
      std::memcpy(m_audio->extradata, extradata, size);
      m_audio->extradata_size = static_cast<int>(size);
      m_audioKnown = true;
    }
    // The file's header has it already: a muxer told again would rewrite its header.
    if (extradata) av_packet_shrink_side_data(packet.get(), AV_PKT_DATA_NEW_EXTRADATA, 0);
    out.push_back({std::move(packet), false});
  }
  return {};
}

bool StreamCopyWriter::ReadyToStart() const {
  if (m_held.empty()) return false;
  if (m_audioKnown || m_held.size() >= kMostHeldPackets) return true;
  return m_held.back().packet->dts - m_held.front().packet->dts > kMostHeldUs;
}

// A stream looked at too briefly may not have told its picture's size, which Matroska and MP4
// write in their headers: the first key frame, where the file starts, tells it.
void StreamCopyWriter::TakeThePictureSizeFromTheFirstFrame() {
  if (m_video->width > 0 && m_video->height > 0) return;
  const auto first = std::find_if(m_held.begin(), m_held.end(), [](const CopiedPacket& item) { return item.video; });
  if (first == m_held.end()) return;
  const std::unique_ptr<AVCodecParserContext, void (*)(AVCodecParserContext*)> parser(av_parser_init(m_video->codec_id),
                                                                                      &av_parser_close);
  CodecContextPtr codec(avcodec_alloc_context3(nullptr));
  if (!parser || !codec || avcodec_parameters_to_context(codec.get(), m_video.get()) < 0) return;
  parser->flags |= PARSER_FLAG_COMPLETE_FRAMES;
  std::uint8_t* frame = nullptr;
  int frameSize = 0;
  av_parser_parse2(parser.get(), codec.get(), &frame, &frameSize, first->packet->data, first->packet->size,
                   AV_NOPTS_VALUE, AV_NOPTS_VALUE, 0);
  if (parser->width <= 0 || parser->height <= 0) return;
  m_video->width = parser->width;
  m_video->height = parser->height;
}

Result<> StreamCopyWriter::StartFile() {
  TakeThePictureSizeFromTheFirstFrame();
  const StreamSetup video{m_video.get(), kMicroseconds};
  const StreamSetup audio{m_audio.get(), kMicroseconds};
  auto opened = AviWriter::Open(m_fd, video, m_audio ? &audio : nullptr, m_container);
  if (!opened) return opened.Error();
  m_file = std::move(*opened);
  std::vector<CopiedPacket> held = std::move(m_held);
  for (CopiedPacket& item : held)
    if (auto written = WriteToFile(item); !written) return written;
  return {};
}

// A sound packet's length (its time in microseconds) in samples; a packet that does not say
// holds the codec's frame.
std::uint64_t StreamCopyWriter::SamplesIn(const AVPacket& packet) const {
  if (packet.duration > 0 && m_audio->sample_rate > 0)
    return static_cast<std::uint64_t>(av_rescale(packet.duration, m_audio->sample_rate, 1'000'000));
  return static_cast<std::uint64_t>(std::max(m_audio->frame_size, 0));
}

Result<> StreamCopyWriter::WriteToFile(CopiedPacket& item) {
  // A packet that waited for the sound's header may be older than the file's first video frame.
  if (!item.video && item.packet->dts != AV_NOPTS_VALUE && item.packet->dts < 0) return {};
  const std::uint64_t samples = item.video ? 0 : SamplesIn(*item.packet);
  if (auto written = m_file->Write(*item.packet, item.video ? m_file->VideoStream() : m_file->AudioStream()); !written)
    return written;
  if (item.video) ++m_videoWritten;
  m_audioSamplesWritten += samples;
  return {};
}

Result<> StreamCopyWriter::Write(CopiedPacket item) {
  std::vector<CopiedPacket> filtered;
  if (auto result = Filter(item, filtered); !result) return result;
  for (CopiedPacket& packet : filtered) {
    if (m_file) {
      if (auto written = WriteToFile(packet); !written) return written;
      continue;
    }
    // The file starts with a video packet: sound before it has nothing to go with.
    if (packet.video || !m_held.empty()) m_held.push_back(std::move(packet));
    if (ReadyToStart())
      if (auto started = StartFile(); !started) return started;
  }
  return {};
}

Result<> StreamCopyWriter::CheckRoom(const SpaceProbe& probe) const {
  if (!m_file) return {};
  return m_file->CheckRoom(probe);
}

Result<> StreamCopyWriter::Finish() {
  if (!m_file && !m_held.empty())
    if (auto started = StartFile(); !started) return started;
  if (!m_file) return {};
  return m_file->Finish();
}

}  // namespace tovalen::ffmpeg
