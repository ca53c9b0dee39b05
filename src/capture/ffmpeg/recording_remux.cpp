#include "capture/ffmpeg/recording_remux.h"

#include <array>
#include <memory>

#include "capture/ffmpeg/avi_writer.h"
#include "capture/ffmpeg/ffmpeg_handles.h"

namespace tovalen::ffmpeg {
namespace {

// What is copied of one input stream.
struct CopiedStream {
  int input = -1;
  int output = -1;
  AVRational timeBase{1, 1};
  std::int64_t lastDts = AV_NOPTS_VALUE;
};

InputContextPtr OpenSource(const std::string& source, std::string& error) {
  AVFormatContext* raw = nullptr;
  if (const int rc = avformat_open_input(&raw, source.c_str(), nullptr, nullptr); rc < 0) {
    error = AvErrorText(rc);
    return nullptr;
  }
  InputContextPtr input(raw);
  // Parameters the header lacks are looked for in the first packets; without them the header's
  // own are copied as they stand.
  avformat_find_stream_info(input.get(), nullptr);
  return input;
}

// A packet the AVI muxer takes: whole, and after the stream's previous one.
bool Copyable(const AVPacket& packet, const CopiedStream& stream) {
  if (packet.flags & AV_PKT_FLAG_CORRUPT) return false;
  if (packet.dts == AV_NOPTS_VALUE) return stream.lastDts == AV_NOPTS_VALUE && packet.pts != AV_NOPTS_VALUE;
  return stream.lastDts == AV_NOPTS_VALUE || packet.dts > stream.lastDts;
}

}  // namespace

RemuxResult RemuxRecording(const std::string& source, int fd) {
  RemuxResult result;
  const InputContextPtr input = OpenSource(source, result.error);
  if (!input) return result;
  std::array<CopiedStream, 2> copied;  // video, audio
  const int video = av_find_best_stream(input.get(), AVMEDIA_TYPE_VIDEO, -1, -1, nullptr, 0);
  if (video < 0) {
    result.error = "no video stream";
    return result;
  }
  const int audio = av_find_best_stream(input.get(), AVMEDIA_TYPE_AUDIO, -1, -1, nullptr, 0);
  copied[0] = {video, 0, input->streams[video]->time_base};
  const StreamSetup videoSetup{input->streams[video]->codecpar, copied[0].timeBase};
  StreamSetup audioSetup;
  if (audio >= 0) {
    copied[1] = {audio, 1, input->streams[audio]->time_base};
    audioSetup = {input->streams[audio]->codecpar, copied[1].timeBase};
  }
  auto opened = AviWriter::Open(fd, videoSetup, audio >= 0 ? &audioSetup : nullptr);
  if (!opened) {
    result.error = opened.Error().detail;
    return result;
  }
  AviWriter& writer = **opened;

  const PacketPtr packet = MakePacket();
  std::int64_t videoEnd = 0;
  // A read error is where the recording was cut off: everything before it is kept.
  while (av_read_frame(input.get(), packet.get()) >= 0) {
    CopiedStream* stream = packet->stream_index == video   ? &copied[0]
                           : packet->stream_index == audio ? &copied[1]
                                                           : nullptr;
    if (stream && Copyable(*packet, *stream)) {
      stream->lastDts = packet->dts != AV_NOPTS_VALUE ? packet->dts : packet->pts;
      if (stream == &copied[0] && packet->size > 0) {
        ++result.frames;
        videoEnd = std::max(videoEnd, (packet->pts != AV_NOPTS_VALUE ? packet->pts : packet->dts) +
                                          std::max<std::int64_t>(packet->duration, 1));
      }
      if (const auto written = writer.Write(*packet, stream->output); !written) {
        result.error = written.Error().detail;
        return result;
      }
    }
    av_packet_unref(packet.get());
  }
  if (const auto finished = writer.Finish(); !finished) {
    result.error = finished.Error().detail;
    return result;
  }
  result.seconds = static_cast<double>(videoEnd) * av_q2d(copied[0].timeBase);
  result.written = true;
  return result;
}

}  // namespace tovalen::ffmpeg
