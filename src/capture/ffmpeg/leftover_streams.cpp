#include "capture/ffmpeg/leftover_streams.h"

#include <algorithm>
#include <cstdlib>
#include <cstring>

namespace tovalen::ffmpeg {
namespace {

constexpr int kLargestSide = 8192;
constexpr int kAlignmentSlack = 128;
constexpr std::int64_t kPixelsPerFileByte = 64;
constexpr std::size_t kBitmapHeaderBytes = 40;
constexpr std::size_t kWaveFormatBytes = 16;

std::uint32_t Le32(const std::vector<std::uint8_t>& bytes, std::size_t at) {
  return bytes[at] | (bytes[at + 1] << 8) | (bytes[at + 2] << 16) | (static_cast<std::uint32_t>(bytes[at + 3]) << 24);
}
std::uint16_t Le16(const std::vector<std::uint8_t>& bytes, std::size_t at) {
  return static_cast<std::uint16_t>(bytes[at] | (bytes[at + 1] << 8));
}

// Frame rates a capture can have; outside them the header's timing is damaged.
bool PlausibleTiming(std::uint32_t scale, std::uint32_t rate) {
  return scale > 0 && rate > 0 && static_cast<double>(rate) / scale >= 0.1 && static_cast<double>(rate) / scale <= 1000;
}

bool StartsLikeJpeg(const std::vector<std::uint8_t>& frame) {
  return frame.size() > 3 && frame[0] == 0xFF && frame[1] == 0xD8 && frame[2] == 0xFF;
}

CodecParametersPtr VideoParameters(const LeftoverStreamHeader& header, AVCodecID codec) {
  CodecParametersPtr parameters(avcodec_parameters_alloc());
  if (!parameters) throw std::bad_alloc();
  const std::vector<std::uint8_t>& format = header.format;
  parameters->codec_type = AVMEDIA_TYPE_VIDEO;
  parameters->codec_id = codec;
  parameters->codec_tag = Le32(format, 16);
  parameters->width = static_cast<int>(Le32(format, 4));
  parameters->height = std::abs(static_cast<int>(Le32(format, 8)));
  parameters->bits_per_coded_sample = Le16(format, 14);
  // The header's own size tells where its codec's data ends; the format chunk may hold more.
  const std::size_t headerBytes = std::min<std::size_t>(Le32(format, 0), format.size());
  if (headerBytes > kBitmapHeaderBytes) {
    const std::size_t extra = headerBytes - kBitmapHeaderBytes;
    parameters->extradata = static_cast<std::uint8_t*>(av_mallocz(extra + AV_INPUT_BUFFER_PADDING_SIZE));
    if (!parameters->extradata) throw std::bad_alloc();
    std::memcpy(parameters->extradata, format.data() + kBitmapHeaderBytes, extra);
    parameters->extradata_size = static_cast<int>(extra);
  }
  return parameters;
}

// Also takes the decoder's pixel format, by which the AVI muxer names raw video.
bool FirstFrameDecodes(AVCodecParameters& parameters, const std::vector<std::uint8_t>& firstFrame,
                       std::int64_t mostPixels) {
  auto check = FrameCheck::Open(parameters, mostPixels);
  bool key = false;
  if (!check || (!firstFrame.empty() && !check->Decodes(firstFrame.data(), firstFrame.size(), key))) return false;
  if (parameters.format < 0) parameters.format = check->PixelFormat();
  return true;
}

}  // namespace

std::int64_t MostPixelsFor(std::uint64_t fileBytes) {
  const std::int64_t byFile =
      static_cast<std::int64_t>(std::min<std::uint64_t>(fileBytes, 1ull << 32)) * kPixelsPerFileByte + (1 << 20);
  return std::min<std::int64_t>(byFile, static_cast<std::int64_t>(kLargestSide) * kLargestSide);
}

std::optional<FrameCheck> FrameCheck::Open(const AVCodecParameters& parameters, std::int64_t mostPixels) {
  const AVCodec* codec = avcodec_find_decoder(parameters.codec_id);
  if (!codec) return std::nullopt;
  FrameCheck check;
  check.m_context.reset(avcodec_alloc_context3(codec));
  if (!check.m_context) throw std::bad_alloc();
  if (avcodec_parameters_to_context(check.m_context.get(), &parameters) < 0) return std::nullopt;
  check.m_context->thread_count = 1;
  check.m_context->max_pixels = mostPixels;
  check.m_context->err_recognition = AV_EF_EXPLODE | AV_EF_CRCCHECK | AV_EF_BITSTREAM;
  if (avcodec_open2(check.m_context.get(), codec, nullptr) < 0) return std::nullopt;
  const AVCodecDescriptor* descriptor = avcodec_descriptor_get(parameters.codec_id);
  check.m_intraOnly = descriptor && (descriptor->props & AV_CODEC_PROP_INTRA_ONLY);
  return check;
}

bool FrameCheck::Decodes(const std::uint8_t* data, std::size_t size, bool& key) {
  key = m_intraOnly;
  if (av_new_packet(m_packet.get(), static_cast<int>(size)) < 0) throw std::bad_alloc();
  std::memcpy(m_packet->data, data, size);
  const int sent = avcodec_send_packet(m_context.get(), m_packet.get());
  av_packet_unref(m_packet.get());
  if (sent < 0) return false;
  for (;;) {
    const int received = avcodec_receive_frame(m_context.get(), m_frame.get());
    if (received == AVERROR(EAGAIN)) return true;  // a codec with delay: checked as it comes out
    if (received < 0 || (m_frame->decode_error_flags != 0) || (m_frame->flags & AV_FRAME_FLAG_CORRUPT)) {
      av_frame_unref(m_frame.get());
      return false;
    }
    key = key || m_frame->key_frame;
    av_frame_unref(m_frame.get());
  }
}

std::optional<LeftoverStream> VideoStreamOf(const LeftoverStreamHeader& header, int index,
                                            const std::vector<std::uint8_t>& firstFrame, std::int64_t mostPixels) {
  if (header.format.size() < kBitmapHeaderBytes || header.format.size() > (1 << 20)) return std::nullopt;
  LeftoverStream stream;
  stream.index = index;
  const AVCodecTag* const tags[] = {avformat_get_riff_video_tags(), nullptr};
  const AVCodecID declared = av_codec_get_id(tags, Le32(header.format, 16));
  stream.parameters = VideoParameters(header, declared);
  const int width = stream.parameters->width;
  const int height = stream.parameters->height;
  if (width <= 0 || height <= 0 || width > kLargestSide || height > kLargestSide) return std::nullopt;
  // Decoders allocate in aligned blocks: a little room beyond the declared size.
  mostPixels = std::min<std::int64_t>(mostPixels, (static_cast<std::int64_t>(width) + kAlignmentSlack) *
                                                      (static_cast<std::int64_t>(height) + kAlignmentSlack));
  if (declared == AV_CODEC_ID_NONE || !FirstFrameDecodes(*stream.parameters, firstFrame, mostPixels)) {
    if (!StartsLikeJpeg(firstFrame)) return std::nullopt;
    stream.parameters = VideoParameters(header, AV_CODEC_ID_MJPEG);
    stream.parameters->codec_tag = 0;
    if (!FirstFrameDecodes(*stream.parameters, firstFrame, mostPixels)) return std::nullopt;
    stream.repaired = "the picture's format was damaged and was read from its frames";
  }
  stream.timeBase = AVRational{static_cast<int>(std::min<std::uint32_t>(header.scale, INT32_MAX)),
                               static_cast<int>(std::min<std::uint32_t>(header.rate, INT32_MAX))};
  if (!PlausibleTiming(header.scale, header.rate)) {
    stream.timeBase = AVRational{1, 30};
    stream.repaired += std::string(stream.repaired.empty() ? "" : ", ") + "the frame rate was damaged";
  }
  return stream;
}

std::optional<LeftoverStream> AudioStreamOf(const LeftoverStreamHeader& header, int index) {
  const std::vector<std::uint8_t>& format = header.format;
  if (format.size() < kWaveFormatBytes) return std::nullopt;
  const int tag = Le16(format, 0);
  const int channels = Le16(format, 2);
  const std::uint32_t sampleRate = Le32(format, 4);
  const int blockAlign = Le16(format, 12);
  const int bits = Le16(format, 14);
  const AVCodecID codec = bits == 8    ? AV_CODEC_ID_PCM_U8
                          : bits == 16 ? AV_CODEC_ID_PCM_S16LE
                          : bits == 24 ? AV_CODEC_ID_PCM_S24LE
                          : bits == 32 ? AV_CODEC_ID_PCM_S32LE
                                       : AV_CODEC_ID_NONE;
  if (tag != 1 || codec == AV_CODEC_ID_NONE || channels < 1 || channels > 8 || blockAlign != channels * bits / 8 ||
      sampleRate < 1000 || sampleRate > 384000)
    return std::nullopt;
  LeftoverStream stream;
  stream.index = index;
  stream.parameters.reset(avcodec_parameters_alloc());
  if (!stream.parameters) throw std::bad_alloc();
  AVCodecParameters& parameters = *stream.parameters;
  parameters.codec_type = AVMEDIA_TYPE_AUDIO;
  parameters.codec_id = codec;
  parameters.sample_rate = static_cast<int>(sampleRate);
  av_channel_layout_default(&parameters.ch_layout, channels);
  parameters.block_align = blockAlign;
  parameters.bits_per_coded_sample = bits;
  parameters.bit_rate = static_cast<std::int64_t>(sampleRate) * blockAlign * 8;
  parameters.format = bits == 8 ? AV_SAMPLE_FMT_U8 : bits == 16 ? AV_SAMPLE_FMT_S16 : AV_SAMPLE_FMT_S32;
  stream.timeBase = AVRational{1, static_cast<int>(sampleRate)};
  return stream;
}

}  // namespace tovalen::ffmpeg
