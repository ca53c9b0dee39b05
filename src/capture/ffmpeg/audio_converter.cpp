#include "capture/ffmpeg/audio_converter.h"

#include <algorithm>
#include <cstring>

extern "C" {
#include <libavutil/channel_layout.h>
#include <libavutil/samplefmt.h>
}

namespace tovalen::ffmpeg {
namespace {

// A gap longer than this (packets lost at the input) is filled with silence; shorter
// irregularities are timestamp jitter and the sound is kept continuous.
constexpr std::int64_t kGapUs = 200'000;

}  // namespace

std::unique_ptr<AudioConverter> AudioConverter::Create(const AVCodecParameters& source, const SWaveFormat& target,
                                                       std::string& error) {
  std::unique_ptr<AudioConverter> converter(new AudioConverter());
  if (!converter->Open(source, target, error)) return nullptr;
  return converter;
}

AudioConverter::~AudioConverter() = default;

bool AudioConverter::Open(const AVCodecParameters& source, const SWaveFormat& target, std::string& error) {
  if (target.wFormatTag != 1 || (target.wBitsPerSample != 8 && target.wBitsPerSample != 16) ||
      (target.nChannels != 1 && target.nChannels != 2) || target.nSamplesPerSec == 0) {
    error = "the audio format is not 8 or 16-bit PCM in mono or stereo";
    return false;
  }
  m_rate = static_cast<int>(target.nSamplesPerSec);
  m_format = target.wBitsPerSample == 8 ? AV_SAMPLE_FMT_U8 : AV_SAMPLE_FMT_S16;
  m_blockAlign = target.nChannels * target.wBitsPerSample / 8;
  m_decoded = MakeFrame();
  return OpenDecoder(source, error) && OpenEncoder(target.nChannels, error) && OpenResampler(error);
}

bool AudioConverter::OpenDecoder(const AVCodecParameters& source, std::string& error) {
  const AVCodec* decoder = avcodec_find_decoder(source.codec_id);
  if (!decoder) {
    error = "the audio input's format cannot be decoded";
    return false;
  }
  m_decoder.reset(avcodec_alloc_context3(decoder));
  if (!m_decoder) throw std::bad_alloc();
  if (avcodec_parameters_to_context(m_decoder.get(), &source) < 0 ||
      avcodec_open2(m_decoder.get(), decoder, nullptr) < 0) {
    error = "the audio input cannot be decoded";
    return false;
  }
  return true;
}

bool AudioConverter::OpenEncoder(int channels, std::string& error) {
  const AVCodec* encoder =
      avcodec_find_encoder(m_format == AV_SAMPLE_FMT_U8 ? AV_CODEC_ID_PCM_U8 : AV_CODEC_ID_PCM_S16LE);
  m_encoder.reset(encoder ? avcodec_alloc_context3(encoder) : nullptr);
  m_output.reset(avcodec_parameters_alloc());
  if (!m_output || (encoder && !m_encoder)) throw std::bad_alloc();
  if (!encoder) {
    error = "no PCM encoder";
    return false;
  }
  m_encoder->sample_fmt = m_format;
  m_encoder->sample_rate = m_rate;
  m_encoder->time_base = {1, m_rate};
  av_channel_layout_default(&m_encoder->ch_layout, channels);
  if (avcodec_open2(m_encoder.get(), encoder, nullptr) < 0 ||
      avcodec_parameters_from_context(m_output.get(), m_encoder.get()) < 0) {
    error = "the PCM encoder cannot be opened";
    return false;
  }
  return true;
}

bool AudioConverter::OpenResampler(std::string& error) {
  SwrContext* resampler = nullptr;
  const int rc = swr_alloc_set_opts2(&resampler, &m_encoder->ch_layout, m_format, m_rate, &m_decoder->ch_layout,
                                     m_decoder->sample_fmt, m_decoder->sample_rate, 0, nullptr);
  m_resampler.reset(resampler);
  if (rc < 0 || swr_init(m_resampler.get()) < 0) {
    error = "the audio input cannot be converted to the requested format";
    return false;
  }
  return true;
}

std::int64_t AudioConverter::ToSamples(std::int64_t microseconds) const {
  return av_rescale(microseconds, m_rate, 1'000'000);
}

bool AudioConverter::Convert(const AVPacket& packet, std::int64_t captureUs, std::int64_t streamStartUs,
                             std::int64_t endUs, std::vector<PacketPtr>& out) {
  if (avcodec_send_packet(m_decoder.get(), &packet) < 0) return false;
  for (;;) {
    const int rc = avcodec_receive_frame(m_decoder.get(), m_decoded.get());
    if (rc == AVERROR(EAGAIN) || rc == AVERROR_EOF) return true;
    if (rc < 0) return false;
    const int capacity = swr_get_out_samples(m_resampler.get(), m_decoded->nb_samples);
    m_converted.resize(static_cast<std::size_t>(std::max(capacity, 0)) * m_blockAlign);
    std::uint8_t* planes[1] = {m_converted.data()};
    const int count = swr_convert(m_resampler.get(), planes, capacity,
                                  const_cast<const std::uint8_t**>(m_decoded->extended_data), m_decoded->nb_samples);
    av_frame_unref(m_decoded.get());
    if (count < 0) return false;
    m_convertedCount = count;
    if (!Place(captureUs, streamStartUs, endUs, out)) return false;
    // A packet that decodes into several frames continues where the last one ended.
    captureUs += av_rescale(count, 1'000'000, m_rate);
  }
}

bool AudioConverter::Place(std::int64_t captureUs, std::int64_t streamStartUs, std::int64_t endUs,
                           std::vector<PacketPtr>& out) {
  const std::uint8_t* samples = m_converted.data();
  std::int64_t count = m_convertedCount;
  const std::int64_t limit = endUs == INT64_MAX ? INT64_MAX : ToSamples(endUs - streamStartUs);
  const std::int64_t position = ToSamples(captureUs - streamStartUs);
  const auto written = static_cast<std::int64_t>(m_written);
  if (m_written == 0 && position < 0) {
    const std::int64_t skip = std::min(count, -position);  // sound from before the first frame
    samples += skip * m_blockAlign;
    count -= skip;
  } else if (position > written && (m_written == 0 || position - written > ToSamples(kGapUs))) {
    // Nothing to fill when the end has moved back before what is written already.
    const std::int64_t gapEnd = std::min(position, limit);
    if (gapEnd > written && !EmitSilence(gapEnd - written, out)) return false;
  }
  count = std::min(count, limit - static_cast<std::int64_t>(m_written));
  return count <= 0 || Emit(samples, count, out);
}

bool AudioConverter::EmitSilence(std::int64_t count, std::vector<PacketPtr>& out) {
  // In pieces of a second at most, so a long gap needs no large buffer.
  std::vector<std::uint8_t> silence(static_cast<std::size_t>(std::min<std::int64_t>(count, m_rate)) * m_blockAlign);
  std::uint8_t* planes[1] = {silence.data()};
  av_samples_set_silence(planes, 0, static_cast<int>(silence.size()) / m_blockAlign, m_encoder->ch_layout.nb_channels,
                         m_format);
  for (std::int64_t left = count; left > 0;) {
    const std::int64_t piece = std::min<std::int64_t>(left, m_rate);
    if (!Emit(silence.data(), piece, out)) return false;
    left -= piece;
  }
  return true;
}

bool AudioConverter::Emit(const std::uint8_t* samples, std::int64_t count, std::vector<PacketPtr>& out) {
  FramePtr frame = MakeFrame();
  frame->format = m_format;
  frame->sample_rate = m_rate;
  frame->nb_samples = static_cast<int>(count);
  if (av_channel_layout_copy(&frame->ch_layout, &m_encoder->ch_layout) < 0 || av_frame_get_buffer(frame.get(), 0) < 0)
    return false;
  std::memcpy(frame->data[0], samples, static_cast<std::size_t>(count) * m_blockAlign);
  frame->pts = static_cast<std::int64_t>(m_written);
  m_written += static_cast<std::uint64_t>(count);
  if (avcodec_send_frame(m_encoder.get(), frame.get()) < 0) return false;
  for (;;) {
    PacketPtr packet = MakePacket();
    const int rc = avcodec_receive_packet(m_encoder.get(), packet.get());
    if (rc == AVERROR(EAGAIN) || rc == AVERROR_EOF) return true;
    if (rc < 0) return false;
    out.push_back(std::move(packet));
  }
}

}  // namespace tovalen::ffmpeg
