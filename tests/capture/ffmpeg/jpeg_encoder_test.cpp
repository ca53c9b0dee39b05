#include "capture/ffmpeg/jpeg_encoder.h"

#include <gmock/gmock.h>

#include <cmath>
#include <cstring>
#include <random>

extern "C" {
#include <libavcodec/avcodec.h>
}

namespace tovalen::testing {
namespace {

using namespace tovalen::ffmpeg;

CodecParametersPtr Source(AVPixelFormat format, int width, int height) {
  CodecParametersPtr source(avcodec_parameters_alloc());
  source->codec_type = AVMEDIA_TYPE_VIDEO;
  source->format = format;
  source->width = width;
  source->height = height;
  return source;
}

// A full-range 4:2:0 picture: a gradient with a bright bar at `bar`, and noise of up to
// `noise` levels either way (none: the picture is smooth).
FramePtr Picture(int width, int height, int bar, int noise, std::int64_t pts, std::mt19937& random) {
  FramePtr frame = MakeFrame();
  frame->format = AV_PIX_FMT_YUVJ420P;
  frame->width = width;
  frame->height = height;
  frame->pts = frame->best_effort_timestamp = pts;
  EXPECT_GE(av_frame_get_buffer(frame.get(), 0), 0);
  std::uniform_int_distribution<int> jitter(-noise, noise);
  for (int plane = 0; plane < 3; ++plane) {
    const int w = plane ? (width + 1) / 2 : width, h = plane ? (height + 1) / 2 : height;
    for (int y = 0; y < h; ++y)
      for (int x = 0; x < w; ++x) {
        const int base = plane == 0 ? (std::abs(x - bar) < 4 ? 230 : 40 + 2 * x + y) : 96 + plane * 20 + x;
        frame->data[plane][y * frame->linesize[plane] + x] =
            static_cast<std::uint8_t>(std::clamp(base + jitter(random), 0, 255));
      }
  }
  return frame;
}

// The packet decoded with a decoder that has seen nothing before it.
FramePtr DecodeAlone(const AVPacket& packet) {
  CodecContextPtr decoder(avcodec_alloc_context3(avcodec_find_decoder(AV_CODEC_ID_MJPEG)));
  FramePtr decoded = MakeFrame();
  if (avcodec_open2(decoder.get(), nullptr, nullptr) < 0 || avcodec_send_packet(decoder.get(), &packet) < 0 ||
      avcodec_receive_frame(decoder.get(), decoded.get()) < 0)
    return nullptr;
  return decoded;
}

// Over all three planes, as FFmpeg's psnr filter weighs them.
double Psnr(const AVFrame& a, const AVFrame& b) {
  double squared = 0, samples = 0;
  for (int plane = 0; plane < 3; ++plane) {
    const int w = plane ? (a.width + 1) / 2 : a.width, h = plane ? (a.height + 1) / 2 : a.height;
    for (int y = 0; y < h; ++y)
      for (int x = 0; x < w; ++x) {
        const int d = a.data[plane][y * a.linesize[plane] + x] - b.data[plane][y * b.linesize[plane] + x];
        squared += d * d;
      }
    samples += static_cast<double>(w) * h;
  }
  return squared == 0 ? 99.0 : 10 * std::log10(255.0 * 255.0 * samples / squared);
}

// The pipeline's two encoder workers take frames in turn, each with its own encoder, which
// reuses Huffman tables built from an earlier frame of its own. A frame whose picture changes
// (smooth, then noisy) has symbols the reused tables were not built from: every frame must
// still decode alone, match its own source, and keep its timestamp.
TEST(JpegEncoder, FramesFromTwoEncodersTakingTurnsDecodeAloneAtTheirPlaces) {
  constexpr int kWidth = 98, kHeight = 66, kFrames = 24;
  const auto source = Source(AV_PIX_FMT_YUVJ420P, kWidth, kHeight);
  std::array<std::unique_ptr<JpegEncoder>, 2> encoders{JpegEncoder::Create(*source, 85),
                                                       JpegEncoder::Create(*source, 85)};
  ASSERT_TRUE(encoders[0] && encoders[1]);
  std::mt19937 random(23);
  std::vector<FramePtr> frames;
  for (int i = 0; i < kFrames; ++i)
    frames.push_back(Picture(kWidth, kHeight, 3 * i, i < kFrames / 2 ? 0 : 60, i, random));
  for (int i = 0; i < kFrames; ++i) {
    std::vector<PacketPtr> out;
    ASSERT_TRUE(encoders[static_cast<std::size_t>(i % 2)]->Encode(*frames[static_cast<std::size_t>(i)], out));
    ASSERT_EQ(out.size(), 1u);
    EXPECT_EQ(out[0]->pts, i);
    const FramePtr decoded = DecodeAlone(*out[0]);
    ASSERT_TRUE(decoded) << "frame " << i;
    ASSERT_EQ(decoded->width, kWidth);
    ASSERT_EQ(decoded->height, kHeight);
    const double own = Psnr(*decoded, *frames[static_cast<std::size_t>(i)]);
    EXPECT_GT(own, i < kFrames / 2 ? 38.0 : 28.0) << "frame " << i;
    const std::size_t neighbour = static_cast<std::size_t>(i == 0 ? 1 : i - 1);
    EXPECT_GT(own, Psnr(*decoded, *frames[neighbour]) + 3) << "frame " << i;
  }
}

// Higher quality: a better picture in a bigger file, over the whole scale.
TEST(JpegEncoder, HigherQualityMeansABetterPictureAndABiggerFile) {
  constexpr int kWidth = 64, kHeight = 48;
  std::mt19937 random(7);
  const FramePtr frame = Picture(kWidth, kHeight, 20, 12, 0, random);
  double lastPsnr = 0;
  int lastSize = 0;
  for (int quality : {1, 20, 50, 70, 85, 95, 100}) {
    const auto encoder = JpegEncoder::Create(*Source(AV_PIX_FMT_YUVJ420P, kWidth, kHeight), quality);
    ASSERT_TRUE(encoder);
    std::vector<PacketPtr> out;
    ASSERT_TRUE(encoder->Encode(*frame, out));
    const FramePtr decoded = DecodeAlone(*out.at(0));
    ASSERT_TRUE(decoded) << quality;
    const double psnr = Psnr(*decoded, *frame);
    EXPECT_GT(psnr, lastPsnr) << quality;
    EXPECT_GT(out[0]->size, lastSize) << quality;
    lastPsnr = psnr;
    lastSize = out[0]->size;
  }
}

// Cameras may offer sizes that the chroma planes do not divide: the blocks past the edge repeat
// the last column and row, and a limited-range source is stretched to JPEG's full range.
TEST(JpegEncoder, AnOddSizedLimitedRangeFrameKeepsItsSizeAndLevels) {
  const auto source = Source(AV_PIX_FMT_YUV420P, 33, 17);
  const auto encoder = JpegEncoder::Create(*source, 100);
  ASSERT_TRUE(encoder);
  FramePtr frame = MakeFrame();
  frame->format = source->format;
  frame->width = source->width;
  frame->height = source->height;
  ASSERT_GE(av_frame_get_buffer(frame.get(), 0), 0);
  for (int plane = 0; plane < 3; ++plane)  // limited-range white: full-range white once stretched
    std::memset(frame->data[plane], plane == 0 ? 235 : 128,
                static_cast<std::size_t>(frame->linesize[plane]) * (plane == 0 ? 17 : 9));
  std::vector<PacketPtr> out;
  ASSERT_TRUE(encoder->Encode(*frame, out));
  ASSERT_EQ(out.size(), 1u);
  const FramePtr decoded = DecodeAlone(*out[0]);
  ASSERT_TRUE(decoded);
  EXPECT_EQ(decoded->width, 33);
  EXPECT_EQ(decoded->height, 17);
  EXPECT_EQ(decoded->format, AV_PIX_FMT_YUVJ420P);
  EXPECT_GE(decoded->data[0][16 * decoded->linesize[0] + 32], 254);
  // A frame of another size is refused, not read past its end.
  FramePtr small = MakeFrame();
  small->format = source->format;
  small->width = 16;
  small->height = 16;
  ASSERT_GE(av_frame_get_buffer(small.get(), 0), 0);
  EXPECT_FALSE(encoder->Encode(*small, out));
}

}  // namespace
}  // namespace tovalen::testing
