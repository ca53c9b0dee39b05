#include "fake_stream_session.h"

#include <cstdlib>
#include <filesystem>

#include "capture/ffmpeg/reader_timing.h"

namespace tovalen::testing {

using namespace tovalen::ffmpeg;

namespace {

constexpr AVRational kMicroseconds{1, 1'000'000};

}  // namespace

std::shared_ptr<FileStreamSession> FileStreamSession::Open(const std::string& path) {
  AVFormatContext* raw = nullptr;
  if (avformat_open_input(&raw, path.c_str(), nullptr, nullptr) < 0) return nullptr;
  auto session = std::make_shared<FileStreamSession>();
  session->m_input.reset(raw);
  if (avformat_find_stream_info(raw, nullptr) < 0) return nullptr;
  for (unsigned i = 0; i < raw->nb_streams; ++i) {
    const AVStream& stream = *raw->streams[i];
    std::optional<Track>& slot = stream.codecpar->codec_type == AVMEDIA_TYPE_VIDEO   ? session->m_video
                                 : stream.codecpar->codec_type == AVMEDIA_TYPE_AUDIO ? session->m_audio
                                                                                     : session->m_video;
    if (slot ||
        (stream.codecpar->codec_type != AVMEDIA_TYPE_VIDEO && stream.codecpar->codec_type != AVMEDIA_TYPE_AUDIO))
      continue;
    slot.emplace();
    slot->index = static_cast<int>(i);
    slot->fileTimeBase = stream.time_base;
    slot->track.parameters.reset(avcodec_parameters_alloc());
    avcodec_parameters_copy(slot->track.parameters.get(), stream.codecpar);
    slot->track.timeBase = kMicroseconds;
  }
  session->m_firstFileUs = av_rescale_q(raw->start_time, AV_TIME_BASE_Q, kMicroseconds);
  session->m_startUs = SteadyMicroseconds();
  return session;
}

FileStreamSession::Track* FileStreamSession::TrackOf(AVMediaType type) {
  std::optional<Track>& track = type == AVMEDIA_TYPE_VIDEO ? m_video : m_audio;
  return track ? &*track : nullptr;
}

// Reads one packet of the file into its track's queue; at the end, starts the file again.
bool FileStreamSession::ReadFromFile() {
  PacketPtr packet = MakePacket();
  if (av_read_frame(m_input.get(), packet.get()) < 0) {
    if (avformat_seek_file(m_input.get(), -1, INT64_MIN, 0, INT64_MAX, 0) < 0) return false;
    m_loopOffsetUs = m_lastUs + 40'000 - m_firstFileUs;
    if (av_read_frame(m_input.get(), packet.get()) < 0) return false;
  }
  Track* track = m_video && packet->stream_index == m_video->index   ? &*m_video
                 : m_audio && packet->stream_index == m_audio->index ? &*m_audio
                                                                     : nullptr;
  if (!track) return true;
  av_packet_rescale_ts(packet.get(), track->fileTimeBase, kMicroseconds);
  const std::int64_t shift = m_startUs - m_firstFileUs + m_loopOffsetUs;
  if (packet->pts != AV_NOPTS_VALUE) packet->pts += shift;
  if (packet->dts != AV_NOPTS_VALUE) packet->dts += shift;
  m_lastUs = std::max(m_lastUs, packet->dts - m_startUs + m_firstFileUs);
  track->due.push_back(std::move(packet));
  return true;
}

ReadResult FileStreamSession::Read(AVMediaType type, AVPacket& packet) {
  std::lock_guard lock(m_mutex);
  Track* track = TrackOf(type);
  if (!track) return {ReadStatus::kError, AVERROR(EIO)};
  if (m_gone) return {ReadStatus::kAgain, 0};
  while (track->due.empty() && m_video->due.size() + (m_audio ? m_audio->due.size() : 0) < 512)
    if (!ReadFromFile()) return {ReadStatus::kError, AVERROR(EIO)};
  if (type == AVMEDIA_TYPE_VIDEO && reconnectAfterVideo && track->handedOn == *reconnectAfterVideo &&
      m_reconnects == 0 && !LoseAtReconnection())
    return {ReadStatus::kError, AVERROR(EIO)};
  while (type == AVMEDIA_TYPE_AUDIO && !track->due.empty() && track->due.front()->dts < m_lostBeforeUs)
    track->due.pop_front();
  if (track->due.empty() || track->due.front()->dts > SteadyMicroseconds()) return {ReadStatus::kAgain, 0};
  if (type == AVMEDIA_TYPE_VIDEO && goneAfterVideo && track->handedOn >= *goneAfterVideo) {
    m_gone = true;
    return {ReadStatus::kAgain, 0};
  }
  av_packet_move_ref(&packet, track->due.front().get());
  track->due.pop_front();
  ++track->handedOn;
  return {ReadStatus::kPacket, 0};
}

void FileStreamSession::HandTo(StreamPacketSink* sink) {
  if (m_handing.joinable()) {
    m_handing.request_stop();
    m_handing.join();
  }
  if (!sink) return;
  m_handing = std::jthread([this, sink](const std::stop_token& stop) {
    PacketPtr packet = MakePacket();
    while (!stop.stop_requested()) {
      bool took = false;
      for (const AVMediaType type : {AVMEDIA_TYPE_VIDEO, AVMEDIA_TYPE_AUDIO}) {
        if (type == AVMEDIA_TYPE_AUDIO && !m_audio) continue;
        const ReadResult result = Read(type, *packet);
        if (result.status == ReadStatus::kError) return sink->GivenUp({StopReason::kDeviceLost, "unreadable"});
        if (result.status != ReadStatus::kPacket) continue;
        sink->Take(type, std::move(packet));
        packet = MakePacket();
        took = true;
      }
      if (!took) std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
  });
}

void FileStreamSession::ForgetThePictureSize() {
  m_video->track.parameters->width = 0;
  m_video->track.parameters->height = 0;
}

bool FileStreamSession::LoseAtReconnection() {
  ++m_reconnects;
  for (int lost = 0; lost <= lostOnReconnect; ++lost) {
    while (m_video->due.empty())
      if (!ReadFromFile()) return false;
    if (lost == lostOnReconnect) break;
    m_video->due.pop_front();
  }
  m_lostBeforeUs = m_video->due.front()->dts;
  return true;
}

std::optional<DriverError> FileStreamSession::FirstTrouble() const {
  std::lock_guard lock(m_mutex);
  if (!m_gone && m_reconnects == 0) return std::nullopt;
  return DriverError{StopReason::kDeviceStalled, "the server went away"};
}

bool FileStreamSession::Gone() const {
  std::lock_guard lock(m_mutex);
  return m_gone;
}

Result<std::shared_ptr<StreamSession>> ReplayedStreamDevice::OpenForCopy(int) const {
  std::shared_ptr<FileStreamSession> session = FileStreamSession::Open(m_source);
  if (!session) return DriverError{StopReason::kDeviceOpenFailed, "cannot replay " + m_source};
  session->goneAfterVideo = m_goneAfterVideo;
  session->reconnectAfterVideo = m_reconnectAfterVideo;
  if (sizeUnknown) session->ForgetThePictureSize();
  return std::shared_ptr<StreamSession>(session);
}

std::string MakeH264AacSource(const std::string& folder) {
  const std::string path = (std::filesystem::path(folder) / "source.ts").string();
  const std::string command =
      "ffmpeg -nostdin -hide_banner -loglevel error -y -f lavfi -i testsrc2=size=320x240:rate=25 "
      "-f lavfi -i sine=frequency=440:sample_rate=48000 -t 4 -c:v libx264 -preset ultrafast -g 25 "
      "-pix_fmt yuv420p -c:a aac -f mpegts '" +
      path + "'";
  return std::system(command.c_str()) == 0 ? path : "";
}

}  // namespace tovalen::testing
