#pragma once

#include <memory>
#include <string>

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavformat/avformat.h>
#include <libavutil/dict.h>
#include <libavutil/frame.h>
#include <libswresample/swresample.h>
#include <libswscale/swscale.h>
}

namespace tovalen::ffmpeg {

// One owner for every FFmpeg object, each released by FFmpeg's own function.

struct InputContextDeleter {
  void operator()(AVFormatContext* context) const { avformat_close_input(&context); }
};
using InputContextPtr = std::unique_ptr<AVFormatContext, InputContextDeleter>;

// An output context whose I/O context is ours (see AviWriter); only the context is freed here.
struct OutputContextDeleter {
  void operator()(AVFormatContext* context) const { avformat_free_context(context); }
};
using OutputContextPtr = std::unique_ptr<AVFormatContext, OutputContextDeleter>;

struct IoContextDeleter {
  void operator()(AVIOContext* io) const {
    if (io) av_freep(&io->buffer);
    avio_context_free(&io);
  }
};
using IoContextPtr = std::unique_ptr<AVIOContext, IoContextDeleter>;

struct CodecContextDeleter {
  void operator()(AVCodecContext* context) const { avcodec_free_context(&context); }
};
using CodecContextPtr = std::unique_ptr<AVCodecContext, CodecContextDeleter>;

struct FrameDeleter {
  void operator()(AVFrame* frame) const { av_frame_free(&frame); }
};
using FramePtr = std::unique_ptr<AVFrame, FrameDeleter>;

struct PacketDeleter {
  void operator()(AVPacket* packet) const { av_packet_free(&packet); }
};
using PacketPtr = std::unique_ptr<AVPacket, PacketDeleter>;

struct CodecParametersDeleter {
  void operator()(AVCodecParameters* parameters) const { avcodec_parameters_free(&parameters); }
};
using CodecParametersPtr = std::unique_ptr<AVCodecParameters, CodecParametersDeleter>;

struct ScaleContextDeleter {
  void operator()(SwsContext* context) const { sws_freeContext(context); }
};
using ScaleContextPtr = std::unique_ptr<SwsContext, ScaleContextDeleter>;

struct ResampleContextDeleter {
  void operator()(SwrContext* context) const { swr_free(&context); }
};
using ResampleContextPtr = std::unique_ptr<SwrContext, ResampleContextDeleter>;

// A dictionary of options handed to an FFmpeg open call, freed with what the call left in it.
class Options {
 public:
  Options() = default;
  ~Options() { av_dict_free(&m_dictionary); }
  Options(const Options&) = delete;
  Options& operator=(const Options&) = delete;

  void Set(const char* key, const std::string& value) { av_dict_set(&m_dictionary, key, value.c_str(), 0); }
  AVDictionary** Address() { return &m_dictionary; }

 private:
  AVDictionary* m_dictionary = nullptr;
};

// Allocations that throw std::bad_alloc instead of returning null.
PacketPtr MakePacket();
FramePtr MakeFrame();
// A new reference to the same packet data.
PacketPtr RefPacket(const AVPacket& packet);
// FFmpeg's decoder for the stream, opened with its parameters into `decoder`; FFmpeg's error code,
// AVERROR_DECODER_NOT_FOUND when it has none.
int OpenStreamDecoder(const AVCodecParameters& parameters, CodecContextPtr& decoder);

// FFmpeg's text for an error code.
std::string AvErrorText(int error);

}  // namespace tovalen::ffmpeg
