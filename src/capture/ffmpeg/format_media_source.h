#pragma once

#include <map>
#include <string>

#include "capture/ffmpeg/media_source.h"

namespace tovalen::ffmpeg {

// What to open through libavdevice/libavformat: an input format ("video4linux2", "pulse",
// "alsa", "lavfi"), the device or graph, and the format's options.
struct DeviceInput {
  std::string format;
  std::string url;
  std::map<std::string, std::string> options;
  AVMediaType mediaType = AVMEDIA_TYPE_VIDEO;  // the stream taken from the input
  bool nonBlocking = true;                     // devices that support it return kAgain instead of blocking
};

// The first stream of the wanted type of an opened input; packets of other streams are dropped.
class FormatMediaSource : public MediaSource {
 public:
  static OpenedSource Open(const DeviceInput& request);

  const AVCodecParameters& Parameters() const override { return *m_stream->codecpar; }
  AVRational TimeBase() const override { return m_stream->time_base; }
  ReadResult Read(AVPacket& packet) override;

 private:
  FormatMediaSource(InputContextPtr input, AVStream* stream) : m_input(std::move(input)), m_stream(stream) {}

  InputContextPtr m_input;
  AVStream* m_stream;  // owned by m_input
};

// A device input that FFmpeg could not open: a busy device, or one that cannot be opened.
DriverError DeviceOpenFailure(const std::string& what, int code);

// Registers the libavdevice input devices once per process.
void RegisterDevices();

}  // namespace tovalen::ffmpeg
