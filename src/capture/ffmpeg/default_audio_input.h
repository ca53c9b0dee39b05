#pragma once

#include "capture/ffmpeg/capture_device.h"

namespace tovalen::ffmpeg {

// The user's default sound input: the PulseAudio server's default source, else ALSA's "default"
// device. A null source when neither opens (no server, no sound card): the capture then has
// no audio track.
OpenedSource OpenDefaultAudioInput(const AudioRequest& request);

}  // namespace tovalen::ffmpeg
