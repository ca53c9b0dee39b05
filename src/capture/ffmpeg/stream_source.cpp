#include "capture/ffmpeg/stream_source.h"

#include <new>

extern "C" {
#include <libavutil/imgutils.h>
}

namespace tovalen::ffmpeg {

StreamSource::StreamSource(std::shared_ptr<StreamSession> session, AVMediaType type, const StreamTrack& track)
    : m_session(std::move(session)), m_type(type), m_track(&track), m_parameters(avcodec_parameters_alloc()) {
  if (!m_parameters || avcodec_parameters_copy(m_parameters.get(), track.parameters.get()) < 0) throw std::bad_alloc();
}

StreamSource::~StreamSource() = default;

std::unique_ptr<StreamSource> StreamSource::Create(std::shared_ptr<StreamSession> session, AVMediaType type,
                                                   FrameSize size) {
  const StreamTrack* track = type == AVMEDIA_TYPE_VIDEO ? session->Video() : session->Audio();
  if (!track) return nullptr;
  std::unique_ptr<StreamSource> source(new StreamSource(std::move(session), type, *track));
  AVCodecParameters& parameters = *source->m_parameters;
  const bool scaled = size.IsSet() && parameters.codec_id == AV_CODEC_ID_RAWVIDEO &&
                      (size.width != parameters.width || size.height != parameters.height);
  if (!scaled) return source;
  const auto format = static_cast<AVPixelFormat>(parameters.format);
  source->m_scaler.reset(sws_getContext(parameters.width, parameters.height, format, size.width, size.height, format,
                                        SWS_BILINEAR, nullptr, nullptr, nullptr));
  if (!source->m_scaler) throw std::bad_alloc();
  parameters.width = size.width;
  parameters.height = size.height;
  return source;
}

ReadResult StreamSource::Read(AVPacket& packet) {
  const ReadResult result = m_session->Read(m_type, packet);
  if (result.status == ReadStatus::kPacket && m_scaler) Scale(packet);
  return result;
}

void StreamSource::Scale(AVPacket& packet) {
  const AVCodecParameters& from = *m_track->parameters;
  const AVCodecParameters& to = *m_parameters;
  const auto format = static_cast<AVPixelFormat>(to.format);
  std::uint8_t* fromPlanes[4];
  int fromLines[4];
  av_image_fill_arrays(fromPlanes, fromLines, packet.data, format, from.width, from.height, 1);
  FramePtr scaled = MakeFrame();
  scaled->format = format;
  scaled->width = to.width;
  scaled->height = to.height;
  if (av_frame_get_buffer(scaled.get(), 0) < 0) throw std::bad_alloc();
  sws_scale(m_scaler.get(), fromPlanes, fromLines, 0, from.height, scaled->data, scaled->linesize);
  const int bytes = av_image_get_buffer_size(format, to.width, to.height, 1);
  PacketPtr out = MakePacket();
  if (av_new_packet(out.get(), bytes) < 0 || av_packet_copy_props(out.get(), &packet) < 0) throw std::bad_alloc();
  av_image_copy_to_buffer(out->data, bytes, scaled->data, scaled->linesize, format, to.width, to.height, 1);
  av_packet_unref(&packet);
  av_packet_move_ref(&packet, out.get());
}

std::optional<Reconnection> StreamSource::Reconnecting() const {
  return Reconnection{m_session->Reconnects(), m_session->FirstTrouble(), m_session->Gone()};
}

}  // namespace tovalen::ffmpeg
