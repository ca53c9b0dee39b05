#pragma once

#include <memory>

#include "capture/device_settings_record.h"
#include "capture/ffmpeg/stream_session.h"

namespace tovalen::ffmpeg {

// The picture or the sound of a stream session as a device's source; it keeps the session open.
// A picture may be asked for at another size than the stream's: it is scaled to it.
class StreamSource : public MediaSource {
 public:
  // Null when the session has no such track.
  static std::unique_ptr<StreamSource> Create(std::shared_ptr<StreamSession> session, AVMediaType type,
                                              FrameSize size = {});
  ~StreamSource() override;

  const AVCodecParameters& Parameters() const override { return *m_parameters; }
  AVRational TimeBase() const override { return m_track->timeBase; }
  ReadResult Read(AVPacket& packet) override;
  std::optional<Reconnection> Reconnecting() const override;

 private:
  StreamSource(std::shared_ptr<StreamSession> session, AVMediaType type, const StreamTrack& track);
  void Scale(AVPacket& packet);

  std::shared_ptr<StreamSession> m_session;
  AVMediaType m_type;
  const StreamTrack* m_track;  // the session's
  CodecParametersPtr m_parameters;
  ScaleContextPtr m_scaler;  // only when the picture is scaled
};

}  // namespace tovalen::ffmpeg
