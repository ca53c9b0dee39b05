#pragma once

#include <optional>
#include <string>
#include <vector>

#include "capture/device_settings_record.h"
#include "capture/ffmpeg/ffmpeg_handles.h"
#include "capture/video_codec_names.h"

namespace tovalen::ffmpeg {

// The codecs whose encoder this system's FFmpeg has, in the compression dialog's order.
std::vector<VideoCodec> EncodableVideoCodecs();

// The encoder this system's FFmpeg has for the codec, or null.
const AVCodec* FindVideoEncoder(VideoCodec codec);
AVCodecID CodecId(VideoCodec codec);

// The pixel format the codec's encoder is given for frames in `source` (AV_PIX_FMT_NONE: not
// known yet): FFmpeg's best match among the formats the encoder and an AVI file take.
AVPixelFormat EncoderPixelFormat(VideoCodec codec, AVPixelFormat source);

// Sets the quality on an encoder context before it is opened: a fixed quantiser for MJPEG and
// MPEG-4 (100 gives 2, 1 gives 31), a constant rate factor for H.264 (100 gives 10, 1 gives 51);
// FFV1 and rawvideo are lossless. Returns the encoder's private options to pass to avcodec_open2.
void ApplyQuality(VideoCodec codec, int quality, AVCodecContext& context, Options& options);

// The fixed quantiser for MJPEG and MPEG-4 at a quality, as `ffmpeg -q:v` takes it.
int QuantiserFor(int quality);

}  // namespace tovalen::ffmpeg
