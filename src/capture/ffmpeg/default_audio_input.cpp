#include "capture/ffmpeg/default_audio_input.h"

#include "capture/ffmpeg/format_media_source.h"
#include "platform/trace.h"

namespace tovalen::ffmpeg {

OpenedSource OpenDefaultAudioInput(const AudioRequest& request) {
  const std::map<std::string, std::string> options{{"sample_rate", std::to_string(request.sampleRate)},
                                                   {"channels", std::to_string(request.channels)}};
  std::string failures;
  for (const char* format : {"pulse", "alsa"}) {
    DeviceInput input{format, "default", options, AVMEDIA_TYPE_AUDIO, true};
    OpenedSource opened = FormatMediaSource::Open(input);
    if (opened) return opened;
    failures += (failures.empty() ? "" : "; ") + opened.Error().detail;
  }
  Trace("D: no audio input (" + failures + "), video only\n");
  return OpenedSource(nullptr);
}

}  // namespace tovalen::ffmpeg
