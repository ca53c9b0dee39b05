#pragma once

#include <string>

#include "capture/ffmpeg/media_source.h"

struct AVFilterContext;
struct AVFilterGraph;

namespace tovalen::ffmpeg {

// The pictures of a libavfilter source graph ("testsrc2=...,format=...,realtime"), each handed on
// as a wrapped frame: the lavfi input device would copy every picture into a packet.
class FilterGraphSource : public MediaSource {
 public:
  static OpenedSource Open(const std::string& graph);
  ~FilterGraphSource() override;

  const AVCodecParameters& Parameters() const override { return *m_parameters; }
  AVRational TimeBase() const override { return m_timeBase; }
  // Waits as the graph does: a paced graph holds each picture until its time.
  ReadResult Read(AVPacket& packet) override;

 private:
  struct GraphDeleter {
    void operator()(AVFilterGraph* graph) const;
  };
  FilterGraphSource() = default;
  Result<> Build(const std::string& graph);

  std::unique_ptr<AVFilterGraph, GraphDeleter> m_graph;
  AVFilterContext* m_sink = nullptr;  // owned by m_graph
  CodecParametersPtr m_parameters;
  AVRational m_timeBase{1, 1'000'000};
  FramePtr m_frame;
};

}  // namespace tovalen::ffmpeg
