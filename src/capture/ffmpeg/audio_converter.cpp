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

DriverError AudioFailure(const std::string& what, int code) { return AvFailure(StopReason::kAudioFailed, what, code); }

}  // namespace

Result<std::unique_ptr<AudioConverter>> AudioConverter::Create(const AVCodecParameters& source,
                                                               const SWaveFormat& target) {
  std::unique_ptr<AudioConverter> converter(new AudioConverter());
  if (auto opened = converter->Open(source, target); !opened) return opened.Error();
  return converter;
}

AudioConverter::~AudioConverter() = default;

Result<> AudioConverter::Open(const AVCodecParameters& source, const SWaveFormat& target) {
  if (target.wFormatTag != 1 || (target.wBitsPerSample != 8 && target.wBitsPerSample != 16) ||
      (target.nChannels != 1 && target.nChannels != 2) || target.nSamplesPerSec == 0)
    return DriverError{StopReason::kAudioFailed, "the audio format is not 8 or 16-bit PCM in mono or stereo"};
  m_rate = static_cast<int>(target.nSamplesPerSec);
  m_format = target.wBitsPerSample == 8 ? AV_SAMPLE_FMT_U8 : AV_SAMPLE_FMT_S16;
  m_blockAlign = target.nChannels * target.wBitsPerSample / 8;
  m_decoded = MakeFrame();
  if (auto decoder = OpenDecoder(source); !decoder) return decoder;
  if (auto encoder = OpenEncoder(target.nChannels); !encoder) return encoder;
  return OpenResampler();
}

Result<> AudioConverter::OpenDecoder(const AVCodecParameters& source) {
  const int rc = OpenStreamDecoder(source, m_decoder);
  if (rc == AVERROR_DECODER_NOT_FOUND)
    return DriverError{StopReason::kAudioFailed, "the audio input's format cannot be decoded"};
  if (rc < 0) return AudioFailure("the audio input cannot be decoded", rc);
  return {};
}

Result<> AudioConverter::OpenEncoder(int channels) {
  const AVCodec* encoder =
      avcodec_find_encoder(m_format == AV_SAMPLE_FMT_U8 ? AV_CODEC_ID_PCM_U8 : AV_CODEC_ID_PCM_S16LE);
  m_encoder.reset(encoder ? avcodec_alloc_context3(encoder) : nullptr);
  m_output.reset(avcodec_parameters_alloc());
  if (!m_output || (encoder && !m_encoder)) throw std::bad_alloc();
  if (!encoder) return DriverError{StopReason::kAudioFailed, "no PCM encoder"};
  m_encoder->sample_fmt = m_format;
  m_encoder->sample_rate = m_rate;
  m_encoder->time_base = {1, m_rate};
  av_channel_layout_default(&m_encoder->ch_layout, channels);
  int rc = avcodec_open2(m_encoder.get(), encoder, nullptr);
  if (rc >= 0) rc = avcodec_parameters_from_context(m_output.get(), m_encoder.get());
  if (rc < 0) return AudioFailure("the PCM encoder cannot be opened", rc);
  return {};
}

Result<> AudioConverter::OpenResampler() {
  SwrContext* resampler = nullptr;
  int rc = swr_alloc_set_opts2(&resampler, &m_encoder->ch_layout, m_format, m_rate, &m_decoder->ch_layout,
                               m_decoder->sample_fmt, m_decoder->sample_rate, 0, nullptr);
  m_resampler.reset(resampler);
  if (rc >= 0) rc = swr_init(m_resampler.get());
  if (rc < 0) return AudioFailure("the audio input cannot be converted to the requested format", rc);
  return {};
}

std::int64_t AudioConverter::ToSamples(std::int64_t microseconds) const {
  return av_rescale(microseconds, m_rate, 1'000'000);
}

Result<> AudioConverter::Convert(const AVPacket& packet, std::int64_t captureUs, std::int64_t streamStartUs,
                                 std::int64_t endUs, std::vector<PacketPtr>& out) {
  if (const int rc = avcodec_send_packet(m_decoder.get(), &packet); rc < 0) return AudioFailure("cannot decode", rc);
  for (;;) {
    const int rc = avcodec_receive_frame(m_decoder.get(), m_decoded.get());
    if (rc == AVERROR(EAGAIN) || rc == AVERROR_EOF) return {};
    if (rc < 0) return AudioFailure("cannot decode", rc);
    const int capacity = swr_get_out_samples(m_resampler.get(), m_decoded->nb_samples);
    m_converted.resize(static_cast<std::size_t>(std::max(capacity, 0)) * m_blockAlign);
    std::uint8_t* planes[1] = {m_converted.data()};
    const int count = swr_convert(m_resampler.get(), planes, capacity,
                                  const_cast<const std::uint8_t**>(m_decoded->extended_data), m_decoded->nb_samples);
    av_frame_unref(m_decoded.get());
    if (count < 0) return AudioFailure("cannot resample", count);
    m_convertedCount = count;
    if (auto placed = Place(captureUs, streamStartUs, endUs, out); !placed) return placed;
    // A packet that decodes into several frames continues where the last one ended.
    captureUs += av_rescale(count, 1'000'000, m_rate);
  }
}

Result<> AudioConverter::Place(std::int64_t captureUs, std::int64_t streamStartUs, std::int64_t endUs,
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
    if (gapEnd > written) {
      if (auto filled = EmitSilence(gapEnd - written, out); !filled) return filled;
    }
  }
  count = std::min(count, limit - static_cast<std::int64_t>(m_written));
  if (count <= 0) return {};
  return Emit(samples, count, out);
}

Result<> AudioConverter::FillTo(std::int64_t streamStartUs, std::int64_t endUs, std::vector<PacketPtr>& out) {
  const std::int64_t missing = ToSamples(endUs - streamStartUs) - static_cast<std::int64_t>(m_written);
  return missing > 0 ? EmitSilence(missing, out) : Result<>{};
}

Result<> AudioConverter::EmitSilence(std::int64_t count, std::vector<PacketPtr>& out) {
  // In pieces of a second at most, so a long gap needs no large buffer.
  std::vector<std::uint8_t> silence(static_cast<std::size_t>(std::min<std::int64_t>(count, m_rate)) * m_blockAlign);
  std::uint8_t* planes[1] = {silence.data()};
  av_samples_set_silence(planes, 0, static_cast<int>(silence.size()) / m_blockAlign, m_encoder->ch_layout.nb_channels,
                         m_format);
  for (std::int64_t left = count; left > 0;) {
    const std::int64_t piece = std::min<std::int64_t>(left, m_rate);
    if (auto emitted = Emit(silence.data(), piece, out); !emitted) return emitted;
    left -= piece;
  }
  return {};
}

Result<> AudioConverter::Emit(const std::uint8_t* samples, std::int64_t count, std::vector<PacketPtr>& out) {
  FramePtr frame = MakeFrame();
  frame->format = m_format;
  frame->sample_rate = m_rate;
  frame->nb_samples = static_cast<int>(count);
  int rc = av_channel_layout_copy(&frame->ch_layout, &m_encoder->ch_layout);
  if (rc >= 0) rc = av_frame_get_buffer(frame.get(), 0);
  if (rc < 0) return AudioFailure("no room for the samples", rc);
  std::memcpy(frame->data[0], samples, static_cast<std::size_t>(count) * m_blockAlign);
  frame->pts = static_cast<std::int64_t>(m_written);
  m_written += static_cast<std::uint64_t>(count);
  if (rc = avcodec_send_frame(m_encoder.get(), frame.get()); rc < 0) return AudioFailure("cannot encode", rc);
  for (;;) {
    PacketPtr packet = MakePacket();
    rc = avcodec_receive_packet(m_encoder.get(), packet.get());
    if (rc == AVERROR(EAGAIN) || rc == AVERROR_EOF) return {};
    if (rc < 0) return AudioFailure("cannot encode", rc);
    out.push_back(std::move(packet));
  }
}

}  // namespace tovalen::ffmpeg
