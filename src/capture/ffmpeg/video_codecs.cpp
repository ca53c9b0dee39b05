#include "capture/ffmpeg/video_codecs.h"

#include <algorithm>

namespace tovalen::ffmpeg {
namespace {

int ClampQuality(int quality) { return std::clamp(quality, kMinQuality, kMaxQuality); }

// Full-range YUV is what JPEG means; the limited-range formats need non-standard extensions.
constexpr AVPixelFormat kMjpegFormats[] = {AV_PIX_FMT_YUVJ420P, AV_PIX_FMT_YUVJ422P, AV_PIX_FMT_YUVJ444P,
                                           AV_PIX_FMT_NONE};
// Raw video in AVI is an uncompressed bitmap: libavformat writes (and players read) BGR only.
constexpr AVPixelFormat kRawFormats[] = {AV_PIX_FMT_BGR24, AV_PIX_FMT_NONE};
constexpr AVPixelFormat kPlanarFormats[] = {AV_PIX_FMT_YUV420P, AV_PIX_FMT_NONE};

const AVPixelFormat* CandidateFormats(VideoCodec codec) {
  switch (codec) {
    case VideoCodec::kMjpeg:
      return kMjpegFormats;
    case VideoCodec::kRawVideo:
      return kRawFormats;
    case VideoCodec::kFfv1: {
      const AVCodec* encoder = FindVideoEncoder(codec);
      return encoder && encoder->pix_fmts ? encoder->pix_fmts : kPlanarFormats;
    }
    case VideoCodec::kMpeg4:
    case VideoCodec::kH264:
      return kPlanarFormats;
  }
  return kPlanarFormats;
}

}  // namespace

std::vector<VideoCodec> EncodableVideoCodecs() {
  std::vector<VideoCodec> codecs;
  for (VideoCodec codec : AllVideoCodecs())
    if (FindVideoEncoder(codec)) codecs.push_back(codec);
  return codecs;
}

AVCodecID CodecId(VideoCodec codec) {
  switch (codec) {
    case VideoCodec::kMjpeg:
      return AV_CODEC_ID_MJPEG;
    case VideoCodec::kRawVideo:
      return AV_CODEC_ID_RAWVIDEO;
    case VideoCodec::kFfv1:
      return AV_CODEC_ID_FFV1;
    case VideoCodec::kMpeg4:
      return AV_CODEC_ID_MPEG4;
    case VideoCodec::kH264:
      return AV_CODEC_ID_H264;
  }
  return AV_CODEC_ID_NONE;
}

const AVCodec* FindVideoEncoder(VideoCodec codec) { return avcodec_find_encoder(CodecId(codec)); }

AVPixelFormat EncoderPixelFormat(VideoCodec codec, AVPixelFormat source) {
  const AVPixelFormat* candidates = CandidateFormats(codec);
  if (source == AV_PIX_FMT_NONE) return candidates[0];
  return avcodec_find_best_pix_fmt_of_list(candidates, source, 0, nullptr);
}

int QuantiserFor(int quality) { return 2 + ((kMaxQuality - ClampQuality(quality)) * 29 + 49) / 99; }

void ApplyQuality(VideoCodec codec, int quality, AVCodecContext& context, Options& options) {
  switch (codec) {
    case VideoCodec::kMjpeg:
    case VideoCodec::kMpeg4:
      context.flags |= AV_CODEC_FLAG_QSCALE;
      context.global_quality = FF_QP2LAMBDA * QuantiserFor(quality);
      break;
    case VideoCodec::kH264: {
      const int crf = 10 + ((kMaxQuality - ClampQuality(quality)) * 41 + 49) / 99;
      options.Set("crf", std::to_string(crf));
      // A recorder must keep up with the device: the fastest presets that still compress well.
      options.Set("preset", "veryfast");
      break;
    }
    case VideoCodec::kFfv1:
    case VideoCodec::kRawVideo:
      break;
  }
}

}  // namespace tovalen::ffmpeg
