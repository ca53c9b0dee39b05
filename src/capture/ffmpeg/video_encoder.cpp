#include "capture/ffmpeg/video_encoder.h"

#include "capture/ffmpeg/video_codecs.h"
#include "capture/ffmpeg/wrapped_frame.h"

namespace tovalen::ffmpeg {
namespace {

DriverError EncoderFailure(const std::string& what, int code) {
  return AvFailure(StopReason::kEncoderFailed, what, code);
}

}  // namespace

Result<std::unique_ptr<VideoEncoder>> VideoEncoder::Create(const AVCodecParameters& source, VideoCodec codec,
                                                           int quality, AVRational frameTimeBase) {
  std::unique_ptr<VideoEncoder> encoder(new VideoEncoder());
  encoder->m_timeBase = frameTimeBase;
  encoder->m_output.reset(avcodec_parameters_alloc());
  if (!encoder->m_output) throw std::bad_alloc();
  if (codec == VideoCodec::kMjpeg && source.codec_id == AV_CODEC_ID_MJPEG) {
    if (avcodec_parameters_copy(encoder->m_output.get(), &source) < 0) throw std::bad_alloc();
    return encoder;
  }
  if (auto opened = encoder->OpenCodecs(source, codec, quality); !opened) return opened.Error();
  return encoder;
}

VideoEncoder::~VideoEncoder() = default;

Result<> VideoEncoder::OpenCodecs(const AVCodecParameters& source, VideoCodec codec, int quality) {
  const AVCodec* encoder = FindVideoEncoder(codec);
  if (!encoder) return DriverError{StopReason::kEncoderFailed, "no " + CodecName(codec) + " encoder"};
  m_encoder.reset(avcodec_alloc_context3(encoder));
  m_decoded = MakeFrame();
  if (!m_encoder) throw std::bad_alloc();
  // A wrapped picture needs no decoder.
  if (!IsWrappedFrame(source))
    if (auto opened = OpenDecoder(source); !opened) return opened;
  // JpegEncoder is the cheaper JPEG encoder and writes smaller files; FFmpeg's takes the pixel
  // formats it cannot.
  if (codec == VideoCodec::kMjpeg && (m_jpeg = JpegEncoder::Create(source, quality))) {
    m_encoder.reset();
    m_jpeg->DescribeOutput(*m_output);
    return {};
  }
  AVCodecContext& context = *m_encoder;
  context.width = source.width;
  context.height = source.height;
  context.pix_fmt = EncoderPixelFormat(codec, static_cast<AVPixelFormat>(source.format));
  // One tick per frame, as in the file; some encoders (MPEG-4) take no term above 65535, so
  // they get the nearest such fraction. A tick stays a frame, so the packets' timestamps are
  // the file's frame slots either way.
  av_reduce(&context.time_base.num, &context.time_base.den, m_timeBase.num, m_timeBase.den, 65535);
  context.framerate = av_inv_q(context.time_base);
  context.sample_aspect_ratio = source.sample_aspect_ratio;
  // AVI has no composition times: frames must come out in the order they went in.
  context.max_b_frames = 0;
  // As many threads as the machine has, as the ffmpeg command line uses: a large picture
  // must keep up with the device.
  context.thread_count = 0;
  Options options;
  ApplyQuality(codec, quality, context, options);
  if (const int rc = avcodec_open2(m_encoder.get(), encoder, options.Address()); rc < 0)
    return EncoderFailure("the " + CodecName(codec) + " encoder cannot be opened", rc);
  if (avcodec_parameters_from_context(m_output.get(), m_encoder.get()) < 0) throw std::bad_alloc();
  return {};
}

Result<> VideoEncoder::OpenDecoder(const AVCodecParameters& source) {
  const int rc = OpenStreamDecoder(source, m_decoder);
  if (rc == AVERROR_DECODER_NOT_FOUND)
    return DriverError{StopReason::kEncoderFailed, "the device's video format cannot be decoded"};
  if (rc < 0) return EncoderFailure("the device's video decoder cannot be opened", rc);
  return {};
}

Result<> VideoEncoder::Encode(const AVPacket& packet, std::int64_t slot, std::vector<PacketPtr>& out) {
  if (IsPassthrough()) {
    PacketPtr copy = RefPacket(packet);
    copy->pts = copy->dts = slot;
    copy->duration = 1;
    copy->flags |= AV_PKT_FLAG_KEY;
    copy->stream_index = 0;
    out.push_back(std::move(copy));
    return {};
  }
  if (!m_decoder) {
    if (const int rc = RefWrappedFrame(packet, *m_decoded); rc < 0)
      return EncoderFailure("cannot take the picture", rc);
    m_decoded->pts = m_decoded->best_effort_timestamp = slot;
    return EncodeDecoded(out);
  }
  // The slot travels through the decoder as the packet's timestamp.
  PacketPtr input = RefPacket(packet);
  input->pts = input->dts = slot;
  if (const int rc = avcodec_send_packet(m_decoder.get(), input.get()); rc < 0)
    return EncoderFailure("cannot decode", rc);
  for (;;) {
    const int rc = avcodec_receive_frame(m_decoder.get(), m_decoded.get());
    if (rc == AVERROR(EAGAIN) || rc == AVERROR_EOF) return {};
    if (rc < 0) return EncoderFailure("cannot decode", rc);
    if (Result<> encoded = EncodeDecoded(out); !encoded) return encoded;
  }
}

Result<> VideoEncoder::EncodeDecoded(std::vector<PacketPtr>& out) {
  Result<> encoded;
  if (m_jpeg) {
    encoded = m_jpeg->Encode(*m_decoded, out);
  } else {
    Result<AVFrame*> frame = Converted(*m_decoded);
    encoded = frame ? EncodeFrame(*frame, out) : frame.Error();
  }
  av_frame_unref(m_decoded.get());
  return encoded;
}

Result<AVFrame*> VideoEncoder::Converted(AVFrame& decoded) {
  const std::int64_t slot =
      decoded.best_effort_timestamp != AV_NOPTS_VALUE ? decoded.best_effort_timestamp : decoded.pts;
  const AVCodecContext& encoder = *m_encoder;
  if (decoded.format == encoder.pix_fmt && decoded.width == encoder.width && decoded.height == encoder.height) {
    decoded.pts = slot;
    return &decoded;
  }
  if (!m_converted) {
    m_converted = MakeFrame();
    m_converted->format = encoder.pix_fmt;
    m_converted->width = encoder.width;
    m_converted->height = encoder.height;
    if (const int rc = av_frame_get_buffer(m_converted.get(), 0); rc < 0)
      return EncoderFailure("no picture for the encoder", rc);
  }
  // The encoder may still hold a reference to the previous frame.
  if (const int rc = av_frame_make_writable(m_converted.get()); rc < 0)
    return EncoderFailure("no picture for the encoder", rc);
  m_scaler.reset(sws_getCachedContext(m_scaler.release(), decoded.width, decoded.height,
                                      static_cast<AVPixelFormat>(decoded.format), encoder.width, encoder.height,
                                      encoder.pix_fmt, SWS_BICUBIC, nullptr, nullptr, nullptr));
  if (!m_scaler) return DriverError{StopReason::kEncoderFailed, "the picture cannot be converted for the encoder"};
  sws_scale(m_scaler.get(), decoded.data, decoded.linesize, 0, decoded.height, m_converted->data,
            m_converted->linesize);
  m_converted->pts = slot;
  return m_converted.get();
}

Result<> VideoEncoder::EncodeFrame(AVFrame* frame, std::vector<PacketPtr>& out) {
  // What `ffmpeg -q:v` does: the fixed quantiser travels with each frame.
  frame->quality = m_encoder->global_quality;
  frame->pict_type = AV_PICTURE_TYPE_NONE;
  if (const int rc = avcodec_send_frame(m_encoder.get(), frame); rc < 0) return EncoderFailure("cannot encode", rc);
  return Drain(out);
}

Result<> VideoEncoder::Drain(std::vector<PacketPtr>& out) {
  for (;;) {
    PacketPtr packet = MakePacket();
    const int rc = avcodec_receive_packet(m_encoder.get(), packet.get());
    if (rc == AVERROR(EAGAIN) || rc == AVERROR_EOF) return {};
    if (rc < 0) return EncoderFailure("cannot encode", rc);
    out.push_back(std::move(packet));
  }
}

Result<> VideoEncoder::Flush(std::vector<PacketPtr>& out) {
  if (!m_encoder) return {};
  if (const int rc = avcodec_send_frame(m_encoder.get(), nullptr); rc < 0)
    return EncoderFailure("cannot flush the encoder", rc);
  return Drain(out);
}

}  // namespace tovalen::ffmpeg
