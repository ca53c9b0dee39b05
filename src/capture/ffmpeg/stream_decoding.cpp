#include "capture/ffmpeg/stream_decoding.h"

#include <new>

extern "C" {
#include <libavutil/imgutils.h>
}

namespace tovalen::ffmpeg {
namespace {

constexpr AVRational kMicroseconds{1, 1'000'000};

CodecParametersPtr NewParameters() {
  CodecParametersPtr parameters(avcodec_parameters_alloc());
  if (!parameters) throw std::bad_alloc();
  return parameters;
}

PacketPtr PacketOfSize(int size, std::int64_t pts) {
  PacketPtr packet = MakePacket();
  if (av_new_packet(packet.get(), size) < 0) throw std::bad_alloc();
  packet->pts = packet->dts = pts;
  packet->flags |= AV_PKT_FLAG_KEY;
  return packet;
}

}  // namespace

CodecParametersPtr RawPictureParameters(int width, int height, AVPixelFormat format) {
  CodecParametersPtr parameters = NewParameters();
  parameters->codec_type = AVMEDIA_TYPE_VIDEO;
  parameters->codec_id = AV_CODEC_ID_RAWVIDEO;
  parameters->format = format;
  parameters->width = width;
  parameters->height = height;
  parameters->sample_aspect_ratio = {1, 1};
  return parameters;
}

CodecParametersPtr RawSoundParameters(int sampleRate, int channels) {
  CodecParametersPtr parameters = NewParameters();
  parameters->codec_type = AVMEDIA_TYPE_AUDIO;
  parameters->codec_id = AV_CODEC_ID_PCM_S16LE;
  parameters->format = AV_SAMPLE_FMT_S16;
  parameters->sample_rate = sampleRate;
  av_channel_layout_default(&parameters->ch_layout, channels);
  parameters->bits_per_coded_sample = 16;
  parameters->block_align = 2 * channels;
  parameters->bit_rate = std::int64_t{16} * channels * sampleRate;
  return parameters;
}

StreamDecoder::~StreamDecoder() { av_channel_layout_uninit(&m_resamplerLayout); }

bool StreamDecoder::OpenFor(const StreamPacket& packet) {
  if (m_decoder && packet.connection == m_connection) return true;
  m_decoder.reset();
  m_connection = packet.connection;
  const AVCodec* codec = avcodec_find_decoder(packet.parameters->codec_id);
  if (!codec) return false;
  CodecContextPtr decoder(avcodec_alloc_context3(codec));
  if (!decoder) throw std::bad_alloc();
  if (avcodec_parameters_to_context(decoder.get(), packet.parameters.get()) < 0) return false;
  decoder->pkt_timebase = kMicroseconds;
  if (avcodec_open2(decoder.get(), codec, nullptr) < 0) return false;
  m_decoder = std::move(decoder);
  return true;
}

void StreamDecoder::Decode(const StreamPacket& packet, std::deque<PacketPtr>& out) {
  if (!OpenFor(packet)) {
    ++m_failures;
    return;
  }
  if (avcodec_send_packet(m_decoder.get(), packet.packet.get()) < 0) ++m_failures;
  for (;;) {
    const int rc = avcodec_receive_frame(m_decoder.get(), m_frame.get());
    if (rc == AVERROR(EAGAIN) || rc == AVERROR_EOF) return;
    if (rc < 0) {
      ++m_failures;
      return;
    }
    Convert(*m_frame, out);
    av_frame_unref(m_frame.get());
  }
}

void StreamDecoder::Convert(AVFrame& frame, std::deque<PacketPtr>& out) {
  if (m_output->codec_type == AVMEDIA_TYPE_VIDEO)
    ConvertPicture(frame, out);
  else
    ConvertSound(frame, out);
}

void StreamDecoder::ConvertPicture(AVFrame& frame, std::deque<PacketPtr>& out) {
  const auto format = static_cast<AVPixelFormat>(m_output->format);
  const int width = m_output->width;
  const int height = m_output->height;
  SwsContext* scaler =
      sws_getCachedContext(m_scaler.release(), frame.width, frame.height, static_cast<AVPixelFormat>(frame.format),
                           width, height, format, SWS_BILINEAR, nullptr, nullptr, nullptr);
  m_scaler.reset(scaler);
  if (!scaler) {
    ++m_failures;
    return;
  }
  FramePtr scaled = MakeFrame();
  scaled->format = format;
  scaled->width = width;
  scaled->height = height;
  if (av_frame_get_buffer(scaled.get(), 0) < 0) throw std::bad_alloc();
  if (sws_scale(scaler, frame.data, frame.linesize, 0, frame.height, scaled->data, scaled->linesize) <= 0) {
    ++m_failures;
    return;
  }
  const int bytes = av_image_get_buffer_size(format, width, height, 1);
  PacketPtr packet = PacketOfSize(bytes, frame.best_effort_timestamp);
  av_image_copy_to_buffer(packet->data, bytes, scaled->data, scaled->linesize, format, width, height, 1);
  out.push_back(std::move(packet));
}

void StreamDecoder::ConvertSound(AVFrame& frame, std::deque<PacketPtr>& out) {
  const bool changed = !m_resampler || frame.sample_rate != m_resamplerRate || frame.format != m_resamplerFormat ||
                       av_channel_layout_compare(&frame.ch_layout, &m_resamplerLayout) != 0;
  if (changed) {
    m_resampler.reset();
    SwrContext* resampler = nullptr;
    if (swr_alloc_set_opts2(&resampler, &m_output->ch_layout, AV_SAMPLE_FMT_S16, m_output->sample_rate,
                            &frame.ch_layout, static_cast<AVSampleFormat>(frame.format), frame.sample_rate, 0,
                            nullptr) < 0 ||
        swr_init(resampler) < 0) {
      swr_free(&resampler);
      ++m_failures;
      return;
    }
    m_resampler.reset(resampler);
    av_channel_layout_uninit(&m_resamplerLayout);
    if (av_channel_layout_copy(&m_resamplerLayout, &frame.ch_layout) < 0) throw std::bad_alloc();
    m_resamplerRate = frame.sample_rate;
    m_resamplerFormat = frame.format;
  }
  const int room = swr_get_out_samples(m_resampler.get(), frame.nb_samples);
  if (room <= 0) return;
  PacketPtr packet = PacketOfSize(room * m_output->block_align, frame.best_effort_timestamp);
  std::uint8_t* planes[] = {packet->data};
  const int samples = swr_convert(m_resampler.get(), planes, room,
                                  const_cast<const std::uint8_t**>(frame.extended_data), frame.nb_samples);
  if (samples <= 0) {
    if (samples < 0) ++m_failures;
    return;
  }
  av_shrink_packet(packet.get(), samples * m_output->block_align);
  packet->duration = av_rescale_q(samples, {1, m_output->sample_rate}, kMicroseconds);
  out.push_back(std::move(packet));
}

}  // namespace tovalen::ffmpeg
