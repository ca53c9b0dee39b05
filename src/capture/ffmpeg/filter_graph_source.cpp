#include "capture/ffmpeg/filter_graph_source.h"

#include <new>

#include "capture/ffmpeg/format_media_source.h"
#include "capture/ffmpeg/wrapped_frame.h"

extern "C" {
#include <libavfilter/avfilter.h>
#include <libavfilter/buffersink.h>
}

namespace tovalen::ffmpeg {

void FilterGraphSource::GraphDeleter::operator()(AVFilterGraph* graph) const { avfilter_graph_free(&graph); }

OpenedSource FilterGraphSource::Open(const std::string& graph) {
  RegisterDevices();  // FFmpeg's messages go to the trace
  std::unique_ptr<FilterGraphSource> source(new FilterGraphSource());
  if (auto built = source->Build(graph); !built) return built.Error();
  return std::unique_ptr<MediaSource>(std::move(source));
}

FilterGraphSource::~FilterGraphSource() = default;

Result<> FilterGraphSource::Build(const std::string& description) {
  m_graph.reset(avfilter_graph_alloc());
  m_parameters.reset(avcodec_parameters_alloc());
  m_frame.reset(av_frame_alloc());
  if (!m_graph || !m_parameters || !m_frame) throw std::bad_alloc();
  const std::string what = "lavfi " + description;
  AVFilterInOut* outputs = nullptr;
  AVFilterInOut* inputs = nullptr;
  int rc = avfilter_graph_parse2(m_graph.get(), description.c_str(), &inputs, &outputs);
  const bool oneOutput = rc >= 0 && !inputs && outputs && !outputs->next;
  if (rc >= 0 && !oneOutput) rc = AVERROR(EINVAL);
  if (rc >= 0)
    rc = avfilter_graph_create_filter(&m_sink, avfilter_get_by_name("buffersink"), "out", nullptr, nullptr,
                                      m_graph.get());
  if (rc >= 0) rc = avfilter_link(outputs->filter_ctx, static_cast<unsigned>(outputs->pad_idx), m_sink, 0);
  avfilter_inout_free(&inputs);
  avfilter_inout_free(&outputs);
  if (rc >= 0) rc = avfilter_graph_config(m_graph.get(), nullptr);
  if (rc >= 0 && av_buffersink_get_type(m_sink) != AVMEDIA_TYPE_VIDEO) rc = AVERROR(EINVAL);
  if (rc < 0) return DeviceOpenFailure(what, rc);
  AVCodecParameters& parameters = *m_parameters;
  parameters.codec_type = AVMEDIA_TYPE_VIDEO;
  parameters.codec_id = AV_CODEC_ID_WRAPPED_AVFRAME;
  parameters.format = av_buffersink_get_format(m_sink);
  parameters.width = av_buffersink_get_w(m_sink);
  parameters.height = av_buffersink_get_h(m_sink);
  parameters.sample_aspect_ratio = av_buffersink_get_sample_aspect_ratio(m_sink);
  m_timeBase = av_buffersink_get_time_base(m_sink);
  return {};
}

ReadResult FilterGraphSource::Read(AVPacket& packet) {
  const int rc = av_buffersink_get_frame(m_sink, m_frame.get());
  if (rc == AVERROR(EAGAIN)) return {ReadStatus::kAgain, 0};
  if (rc == AVERROR_EOF) return {ReadStatus::kEnd, 0};
  if (rc < 0) return {ReadStatus::kError, rc};
  const std::int64_t pts = m_frame->pts;
  const std::int64_t duration = m_frame->pkt_duration;
  if (!WrapFrame(*m_frame, packet)) {
    av_frame_unref(m_frame.get());
    throw std::bad_alloc();
  }
  packet.pts = packet.dts = pts;
  packet.duration = duration;
  return {ReadStatus::kPacket, 0};
}

}  // namespace tovalen::ffmpeg
