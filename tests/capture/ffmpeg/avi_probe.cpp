#include "avi_probe.h"

#include <algorithm>
#include <cmath>
#include <filesystem>
#include <functional>
#include <limits>
#include <thread>
#include <utility>

#include "capture/ffmpeg/ffmpeg_handles.h"
#include "capture/ffmpeg/media_source.h"

extern "C" {
#include <libavutil/pixdesc.h>
}

namespace tovalen::testing {
namespace {

using namespace tovalen::ffmpeg;

CodecContextPtr OpenDecoder(const AVCodecParameters& parameters) {
  const AVCodec* decoder = avcodec_find_decoder(parameters.codec_id);
  if (!decoder) return nullptr;
  CodecContextPtr context(avcodec_alloc_context3(decoder));
  if (avcodec_parameters_to_context(context.get(), &parameters) < 0 ||
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
  probed.streams = static_cast<int>(input->nb_streams);
  if (input->duration > 0) probed.durationSeconds = static_cast<double>(input->duration) / AV_TIME_BASE;
  const int videoIndex = av_find_best_stream(input.get(), AVMEDIA_TYPE_VIDEO, -1, -1, nullptr, 0);
  const int audioIndex = av_find_best_stream(input.get(), AVMEDIA_TYPE_AUDIO, -1, -1, nullptr, 0);
  CodecContextPtr videoDecoder;
  if (videoIndex >= 0) {
    const AVStream& stream = *input->streams[videoIndex];
    probed.video =
        ProbedVideo{avcodec_get_name(stream.codecpar->codec_id), "", stream.codecpar->width, stream.codecpar->height,
                    av_q2d(stream.avg_frame_rate.num ? stream.avg_frame_rate : stream.r_frame_rate)};
    videoDecoder = OpenDecoder(*stream.codecpar);
  }
  if (audioIndex >= 0) {
    const AVCodecParameters& parameters = *input->streams[audioIndex]->codecpar;
    probed.audio = ProbedAudio{avcodec_get_name(parameters.codec_id),
                               av_get_sample_fmt_name(static_cast<AVSampleFormat>(parameters.format)),
                               parameters.sample_rate, parameters.ch_layout.nb_channels, 0};
  }
  PacketPtr packet = MakePacket();
  FramePtr frame = MakeFrame();
  double firstAudio = std::numeric_limits<double>::max();
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
      ++probed.audio->packets;
      if (packet->pts != AV_NOPTS_VALUE) {
        const double timeBase = av_q2d(input->streams[audioIndex]->time_base);
        firstAudio = std::min(firstAudio, packet->pts * timeBase);
        probed.audio->seconds =
            std::max(probed.audio->seconds, (packet->pts + packet->duration) * timeBase - firstAudio);
      }
    }
    av_packet_unref(packet.get());
  }
  if (videoDecoder) DecodeVideo(*videoDecoder, nullptr, *frame, *probed.video);
  return probed;
}

}  // namespace tovalen::testing

namespace tovalen::testing {

double SoundPastPicture(const ProbedFile& file) {
  if (!file.video || !file.audio || file.video->frameRate <= 0 || file.audio->sampleRate <= 0) return NAN;
  return static_cast<double>(file.audio->samples) / file.audio->sampleRate -
         static_cast<double>(file.video->frameSlots) / file.video->frameRate;
}

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

namespace {

using Rgb = std::vector<std::uint8_t>;

// A frame as 8-bit RGB at its own size; YUV is read as full or limited range as its format says.
Rgb ToRgb(const AVFrame& frame) {
  ScaleContextPtr scaler(
      sws_getContext(frame.width, frame.height, static_cast<AVPixelFormat>(frame.format), frame.width, frame.height,
                     AV_PIX_FMT_RGB24, SWS_BICUBIC | SWS_ACCURATE_RND | SWS_FULL_CHR_H_INT, nullptr, nullptr, nullptr));
  Rgb rgb(static_cast<std::size_t>(frame.width) * frame.height * 3);
  std::uint8_t* planes[4] = {rgb.data()};
  int strides[4] = {frame.width * 3};
  if (scaler) sws_scale(scaler.get(), frame.data, frame.linesize, 0, frame.height, planes, strides);
  return rgb;
}

double Psnr(const Rgb& a, const Rgb& b) {
  if (a.size() != b.size() || a.empty()) return 0;
  double squares = 0;
  for (std::size_t i = 0; i < a.size(); ++i) squares += (a[i] - b[i]) * (a[i] - b[i]);
  return squares == 0 ? 100 : 10 * std::log10(255.0 * 255.0 * static_cast<double>(a.size()) / squares);
}

// The first `count` frames that `next` (false: no more packets) decodes, with their timestamps.
std::vector<std::pair<std::int64_t, Rgb>> DecodeRgb(const AVCodecParameters& parameters,
                                                    const std::function<bool(AVPacket&)>& next, std::size_t count) {
  std::vector<std::pair<std::int64_t, Rgb>> frames;
  CodecContextPtr decoder = OpenDecoder(parameters);
  PacketPtr packet = MakePacket();
  FramePtr frame = MakeFrame();
  while (decoder && frames.size() < count && next(*packet)) {
    if (avcodec_send_packet(decoder.get(), packet.get()) >= 0) {
      while (avcodec_receive_frame(decoder.get(), frame.get()) == 0) {
        frames.emplace_back(frame->best_effort_timestamp, ToRgb(*frame));
        av_frame_unref(frame.get());
      }
    }
    av_packet_unref(packet.get());
  }
  return frames;
}

}  // namespace

double LowestPsnr(const std::string& path, MediaSource& source, int frames) {
  AVFormatContext* raw = nullptr;
  if (avformat_open_input(&raw, path.c_str(), nullptr, nullptr) < 0) return std::nan("");
  ffmpeg::InputContextPtr input(raw);
  const int videoIndex = av_find_best_stream(input.get(), AVMEDIA_TYPE_VIDEO, -1, -1, nullptr, 0);
  if (videoIndex < 0) return std::nan("");
  const auto fromFile = [&](AVPacket& packet) {
    while (av_read_frame(input.get(), &packet) >= 0) {
      if (packet.stream_index == videoIndex && packet.size > 0) return true;
      av_packet_unref(&packet);
    }
    return false;
  };
  // The file's frames sit at their slots; the source's come in order, one per slot.
  const auto recorded = DecodeRgb(*input->streams[videoIndex]->codecpar, fromFile, static_cast<std::size_t>(frames));
  std::int64_t lastSlot = -1;
  for (const auto& [slot, rgb] : recorded) lastSlot = std::max(lastSlot, slot);
  int waits = 0;
  const auto fromSource = [&](AVPacket& packet) {
    for (;;) {
      const ReadResult result = source.Read(packet);
      if (result.status != ReadStatus::kAgain) return result.status == ReadStatus::kPacket;
      if (++waits > 2000) return false;
      std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
  };
  const auto original = DecodeRgb(source.Parameters(), fromSource, static_cast<std::size_t>(lastSlot + 1));
  double lowest = std::numeric_limits<double>::quiet_NaN();
  for (const auto& [slot, rgb] : recorded) {
    if (slot < 0 || slot >= static_cast<std::int64_t>(original.size())) return std::nan("");
    const double psnr = Psnr(original[static_cast<std::size_t>(slot)].second, rgb);
    lowest = std::isnan(lowest) ? psnr : std::min(lowest, psnr);
  }
  return lowest;
}

std::vector<std::string> FilesContaining(const std::string& folder, const std::string& text) {
  std::vector<std::string> files;
  for (const auto& entry : std::filesystem::directory_iterator(folder))
    if (entry.path().filename().string().find(text) != std::string::npos) files.push_back(entry.path().string());
  return files;
}

}  // namespace tovalen::testing
