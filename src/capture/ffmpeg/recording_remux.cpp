#include "capture/ffmpeg/recording_remux.h"

#include <algorithm>
#include <cstring>
#include <optional>
#include <vector>

#include "capture/ffmpeg/avi_leftover_reader.h"
#include "capture/ffmpeg/avi_writer.h"
#include "capture/ffmpeg/leftover_streams.h"

namespace tovalen::ffmpeg {
namespace {

using Kind = LeftoverStreamHeader::Kind;

DriverError CannotWrite(const DriverError& error) {
  return {error.reason, "cannot write the rebuilt file: " + error.detail, error.errorNumber};
}

// The first stream of a kind; one whose type is damaged counts by the size of its format.
int FindStream(const std::vector<LeftoverStreamHeader>& streams, Kind kind) {
  for (std::size_t i = 0; i < streams.size(); ++i) {
    Kind seen = streams[i].kind;
    if (seen == Kind::kUnknown) seen = streams[i].format.size() >= 40 ? Kind::kVideo : Kind::kAudio;
    if (seen == kind) return static_cast<int>(i);
  }
  return -1;
}

// The first frame of a stream, from a copy of the reader, so that its codec can be checked.
std::vector<std::uint8_t> FirstFrameOf(AviLeftoverReader reader, int stream) {
  std::vector<std::uint8_t> bytes;
  LeftoverChunk chunk;
  while (reader.Next(chunk)) {
    if (chunk.stream == stream && chunk.size > 0) {
      if (!reader.Read(chunk, bytes)) bytes.clear();
      break;
    }
  }
  return bytes;
}

// No frame is larger than uncompressed 32-bit pixels, and no chunk of sound holds seconds.
void LimitChunks(AviLeftoverReader& reader, const std::optional<LeftoverStream>& video,
                 const std::optional<LeftoverStream>& audio) {
  constexpr std::uint64_t kSlackBytes = 1 << 20;
  constexpr std::uint64_t kMostSoundSeconds = 2;
  if (video) {
    const AVCodecParameters& picture = *video->parameters;
    reader.LimitChunks(video->index, static_cast<std::uint64_t>(picture.width) * picture.height * 4 + kSlackBytes);
  }
  if (audio) {
    const AVCodecParameters& sound = *audio->parameters;
    reader.LimitChunks(
        audio->index,
        static_cast<std::uint64_t>(sound.sample_rate) * sound.block_align * kMostSoundSeconds + kSlackBytes);
  }
}

// What is left out, counted as it goes.
struct Losses {
  std::vector<std::string> streams;
  std::int64_t badFrames = 0;
  std::int64_t badAudio = 0;
  std::int64_t otherChunks = 0;

  std::string Describe(std::uint64_t damagedBytes) const {
    std::vector<std::string> parts = streams;
    if (damagedBytes > 0) parts.push_back(std::to_string(damagedBytes) + " damaged bytes were passed over");
    if (badFrames > 0) parts.push_back(std::to_string(badFrames) + " video frames do not decode");
    if (badAudio > 0) parts.push_back(std::to_string(badAudio) + " damaged sound chunks were left out");
    if (otherChunks > 0) parts.push_back(std::to_string(otherChunks) + " chunks of unreadable streams were left out");
    std::string text;
    for (const std::string& part : parts) text += (text.empty() ? "" : ", ") + part;
    return text;
  }
};

// Copies chunk by chunk; the writer is null when the source is only read.
class Copier {
 public:
  Copier(AviLeftoverReader& reader, std::optional<LeftoverStream>& video, std::optional<LeftoverStream>& audio,
         AviWriter* writer, RemuxedRecording& result, Losses& losses)
      : m_reader(reader), m_video(video), m_audio(audio), m_writer(writer), m_result(result), m_losses(losses) {
    if (m_video) m_check = FrameCheck::Open(*m_video->parameters, MostPixelsFor(reader.FileSize()));
  }

  Result<> CopyAll() {
    LeftoverChunk chunk;
    while (m_reader.Next(chunk)) {
      if (!m_reader.Read(chunk, m_bytes)) return DriverError{.detail = "cannot read the recording"};
      Result<> copied;
      if (m_video && chunk.stream == m_video->index) {
        copied = CopyVideo();
      } else if (m_audio && chunk.stream == m_audio->index) {
        copied = CopyAudio(chunk);
      } else {
        ++m_losses.otherChunks;
      }
      if (!copied) return copied;
    }
    return {};
  }

  std::int64_t VideoEnd() const { return m_videoEnd; }
  std::int64_t AudioSamples() const { return m_audioSamples; }

 private:
  Result<> CopyVideo() {
    const std::int64_t slot = m_videoSlots++;
    if (m_bytes.empty()) return {};  // a frame dropped while capturing keeps its place
    bool key = false;
    if (!m_check || !m_check->Decodes(m_bytes.data(), m_bytes.size(), key)) {
      ++m_losses.badFrames;
      return {};
    }
    ++m_result.frames;
    m_videoEnd = slot + 1;
    return Write(slot, 1, key, 0);
  }

  Result<> CopyAudio(const LeftoverChunk& chunk) {
    const auto align = static_cast<std::size_t>(m_audio->parameters->block_align);
    // A guessed size may take in the chunk's pad byte.
    if (chunk.sizeGuessed && m_bytes.size() % align == 1) m_bytes.pop_back();
    if (m_bytes.size() % align != 0) {
      ++m_losses.badAudio;
      return {};
    }
    const auto samples = static_cast<std::int64_t>(m_bytes.size() / align);
    const std::int64_t start = m_audioSamples;
    m_audioSamples += samples;
    m_result.audioBytes += static_cast<std::int64_t>(m_bytes.size());
    if (m_bytes.empty()) return {};
    return Write(start, samples, true, m_video ? 1 : 0);
  }

  Result<> Write(std::int64_t pts, std::int64_t duration, bool key, int stream) {
    if (!m_writer) return {};
    if (av_new_packet(m_packet.get(), static_cast<int>(m_bytes.size())) < 0) throw std::bad_alloc();
    std::memcpy(m_packet->data, m_bytes.data(), m_bytes.size());
    m_packet->pts = m_packet->dts = pts;
    m_packet->duration = duration;
    if (key) m_packet->flags |= AV_PKT_FLAG_KEY;
    const auto written = m_writer->Write(*m_packet, stream);
    av_packet_unref(m_packet.get());
    if (!written) return CannotWrite(written.Error());
    return {};
  }

  AviLeftoverReader& m_reader;
  std::optional<LeftoverStream>& m_video;
  std::optional<LeftoverStream>& m_audio;
  AviWriter* m_writer;
  RemuxedRecording& m_result;
  Losses& m_losses;
  std::optional<FrameCheck> m_check;
  PacketPtr m_packet = MakePacket();
  std::vector<std::uint8_t> m_bytes;
  std::int64_t m_videoSlots = 0;
  std::int64_t m_videoEnd = 0;
  std::int64_t m_audioSamples = 0;
};

}  // namespace

bool LooksFinished(int source) {
  const auto reader = AviLeftoverReader::Open(source);
  return reader && reader->RiffListsEndAtFileEnd();
}

Result<RemuxedRecording> RemuxRecording(int source, int out) {
  RemuxedRecording result;
  auto reader = AviLeftoverReader::Open(source);
  if (!reader) return reader.Error();
  const auto& headers = reader->Streams();
  Losses losses;
  const int videoIndex = FindStream(headers, Kind::kVideo);
  const int audioIndex = FindStream(headers, Kind::kAudio);
  std::optional<LeftoverStream> video;
  std::optional<LeftoverStream> audio;
  if (videoIndex >= 0) {
    video = VideoStreamOf(headers[videoIndex], videoIndex, FirstFrameOf(*reader, videoIndex),
                          MostPixelsFor(reader->FileSize()));
    if (!video) losses.streams.push_back("the picture's format is damaged");
    if (video && !video->repaired.empty()) losses.streams.push_back(video->repaired);
  }
  if (audioIndex >= 0) {
    audio = AudioStreamOf(headers[audioIndex], audioIndex);
    if (!audio) losses.streams.push_back("the sound's format is damaged");
  }
  if (!video && !audio)
    return DriverError{.detail = headers.empty() ? "no stream header" : "no stream whose format can be read"};

  LimitChunks(*reader, video, audio);
  std::unique_ptr<AviWriter> writer;
  if (out >= 0) {
    const LeftoverStream& first = video ? *video : *audio;
    const StreamSetup firstSetup{first.parameters.get(), first.timeBase};
    const StreamSetup audioSetup{audio ? audio->parameters.get() : nullptr, audio ? audio->timeBase : AVRational{1, 1}};
    auto opened = AviWriter::Open(out, firstSetup, video && audio ? &audioSetup : nullptr);
    if (!opened) return CannotWrite(opened.Error());
    writer = std::move(*opened);
  }
  Copier copier(*reader, video, audio, writer.get(), result, losses);
  if (auto copied = copier.CopyAll(); !copied) return copied.Error();
  result.lost = losses.Describe(reader->DamagedBytes());
  result.seconds = video ? static_cast<double>(copier.VideoEnd()) * av_q2d(video->timeBase)
                         : static_cast<double>(copier.AudioSamples()) * av_q2d(audio->timeBase);
  result.sourceFinished = reader->Finished() && result.lost.empty();
  if (writer) {
    if (const auto finished = writer->Finish(); !finished) return CannotWrite(finished.Error());
  }
  return result;
}

}  // namespace tovalen::ffmpeg
