#include "avi_probe.h"

#include <algorithm>
#include <filesystem>

#include "capture/ffmpeg/ffmpeg_handles.h"

extern "C" {
#include <libavutil/pixdesc.h>
}

namespace tovalen::testing {
namespace {

using namespace tovalen::ffmpeg;

CodecContextPtr OpenDecoder(const AVStream& stream) {
  const AVCodec* decoder = avcodec_find_decoder(stream.codecpar->codec_id);
  if (!decoder) return nullptr;
  CodecContextPtr context(avcodec_alloc_context3(decoder));
  if (avcodec_parameters_to_context(context.get(), stream.codecpar) < 0 ||
      avcodec_open2(context.get(), decoder, nullptr) < 0)
    return nullptr;
  return context;
}

void DecodeVideo(AVCodecContext& decoder, const AVPacket* packet, AVFrame& frame, ProbedVideo& video) {
  if (avcodec_send_packet(&decoder, packet) < 0) {
    ++video.decodeErrors;
    return;
  }
  while (avcodec_receive_frame(&decoder, &frame) == 0) {
    ++video.decodedFrames;
    video.pixelFormat = av_get_pix_fmt_name(static_cast<AVPixelFormat>(frame.format));
    av_frame_unref(&frame);
  }
}

}  // namespace

ProbedFile ProbeFile(const std::string& path) {
  ProbedFile probed;
  AVFormatContext* raw = nullptr;
  if (const int rc = avformat_open_input(&raw, path.c_str(), nullptr, nullptr); rc < 0) {
    probed.error = AvErrorText(rc);
    return probed;
  }
  InputContextPtr input(raw);
  avformat_find_stream_info(input.get(), nullptr);
  if (input->duration > 0) probed.durationSeconds = static_cast<double>(input->duration) / AV_TIME_BASE;
  const int videoIndex = av_find_best_stream(input.get(), AVMEDIA_TYPE_VIDEO, -1, -1, nullptr, 0);
  const int audioIndex = av_find_best_stream(input.get(), AVMEDIA_TYPE_AUDIO, -1, -1, nullptr, 0);
  CodecContextPtr videoDecoder;
  if (videoIndex >= 0) {
    const AVStream& stream = *input->streams[videoIndex];
    probed.video = ProbedVideo{avcodec_get_name(stream.codecpar->codec_id), "", stream.codecpar->width,
                               stream.codecpar->height, av_q2d(stream.avg_frame_rate.num ? stream.avg_frame_rate : stream.r_frame_rate)};
    videoDecoder = OpenDecoder(stream);
  }
  if (audioIndex >= 0) {
    const AVCodecParameters& parameters = *input->streams[audioIndex]->codecpar;
    probed.audio = ProbedAudio{avcodec_get_name(parameters.codec_id),
                               av_get_sample_fmt_name(static_cast<AVSampleFormat>(parameters.format)),
                               parameters.sample_rate, parameters.ch_layout.nb_channels, 0};
  }
  PacketPtr packet = MakePacket();
  FramePtr frame = MakeFrame();
  while (av_read_frame(input.get(), packet.get()) >= 0) {
    if (packet->stream_index == videoIndex) {
      ++probed.video->chunks;
      // AVI's video time base is the frame period: a timestamp is a frame's place (H.264 gets
      // only decoding timestamps from the AVI reader, which are the same without B-frames).
      const std::int64_t place = packet->pts != AV_NOPTS_VALUE ? packet->pts : packet->dts;
      if (place != AV_NOPTS_VALUE) probed.video->frameSlots = std::max(probed.video->frameSlots, place + 1);
      if (videoDecoder && packet->size > 0) DecodeVideo(*videoDecoder, packet.get(), *frame, *probed.video);
    } else if (packet->stream_index == audioIndex) {
      const int blockAlign = input->streams[audioIndex]->codecpar->block_align;
      if (blockAlign > 0) probed.audio->samples += packet->size / blockAlign;
    }
    av_packet_unref(packet.get());
  }
  if (videoDecoder) DecodeVideo(*videoDecoder, nullptr, *frame, *probed.video);
  return probed;
}

}  // namespace tovalen::testing

namespace tovalen::testing {

std::vector<std::string> VideoPackets(const std::string& path, int count) {
  std::vector<std::string> packets;
  AVFormatContext* raw = nullptr;
  if (avformat_open_input(&raw, path.c_str(), nullptr, nullptr) < 0) return packets;
  ffmpeg::InputContextPtr input(raw);
  const int videoIndex = av_find_best_stream(input.get(), AVMEDIA_TYPE_VIDEO, -1, -1, nullptr, 0);
  ffmpeg::PacketPtr packet = ffmpeg::MakePacket();
  while (static_cast<int>(packets.size()) < count && av_read_frame(input.get(), packet.get()) >= 0) {
    if (packet->stream_index == videoIndex && packet->size > 0)
      packets.emplace_back(reinterpret_cast<const char*>(packet->data), static_cast<std::size_t>(packet->size));
    av_packet_unref(packet.get());
  }
  return packets;
}

std::vector<std::string> FilesContaining(const std::string& folder, const std::string& text) {
  std::vector<std::string> files;
  for (const auto& entry : std::filesystem::directory_iterator(folder))
    if (entry.path().filename().string().find(text) != std::string::npos) files.push_back(entry.path().string());
  return files;
}

}  // namespace tovalen::testing
