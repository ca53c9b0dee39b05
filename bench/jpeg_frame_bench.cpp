// The MJPEG encoders side by side on the same frames, in one process: FFmpeg's (as
// `ffmpeg -c:v mjpeg -q:v N` runs it, on one thread), TurboJPEG's and the recorder's, each at
// a range of settings. For each: PSNR over all planes against the source, bytes per frame and
// CPU time per frame (this thread's, getrusage), and the recorder's bytes at FFmpeg's PSNR.
//
//   jpeg_frame_bench [FRAMES [WxH ...]]   (needs ffmpeg on the path for the source frames)
//
// VARIANTS=all (or part of a variant's name, "flat r0.300 every32" by default): which of the
// recorder's table shapes, roundings and Huffman table reuses to run; CURVES=1 prints each
// quality's point. CPU=QUALITY instead compares the CPU time alone (see CompareCpu), with
// ONLY_OURS=1 for the recorder's encoder alone and NO_PSNR=1 to skip decoding (for a profiler).
#include <sys/resource.h>

#include <cmath>
#include <cstdio>
#include <cstring>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "capture/ffmpeg/ffmpeg_handles.h"
#include "capture/ffmpeg/jpeg_encoder.h"
#include "turbojpeg_encoder.h"

extern "C" {
#include <libavcodec/avcodec.h>
}

using namespace tovalen::ffmpeg;

namespace {

double ThreadCpuSeconds() {
  rusage usage{};
  getrusage(RUSAGE_THREAD, &usage);
  return static_cast<double>(usage.ru_utime.tv_sec + usage.ru_stime.tv_sec) +
         static_cast<double>(usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) / 1e6;
}

std::vector<FramePtr> SourceFrames(int width, int height, bool noise, int count) {
  const std::string command = "ffmpeg -v error -f lavfi -i testsrc2=size=" + std::to_string(width) + "x" +
                              std::to_string(height) + ":rate=30" + (noise ? ",noise=alls=10:allf=t" : "") +
                              ",format=yuvj420p -frames:v " + std::to_string(count) + " -f rawvideo -";
  std::unique_ptr<FILE, int (*)(FILE*)> pipe(popen(command.c_str(), "r"), pclose);
  std::vector<FramePtr> frames;
  for (int i = 0; pipe && i < count; ++i) {
    FramePtr frame = MakeFrame();
    frame->format = AV_PIX_FMT_YUVJ420P;
    frame->width = width;
    frame->height = height;
    frame->pts = frame->best_effort_timestamp = i;
    if (av_frame_get_buffer(frame.get(), 0) < 0) break;
    bool ok = true;
    for (int plane = 0; plane < 3; ++plane) {
      const int w = plane ? width / 2 : width, h = plane ? height / 2 : height;
      for (int y = 0; y < h && ok; ++y)
        ok = std::fread(frame->data[plane] + static_cast<std::ptrdiff_t>(y) * frame->linesize[plane], 1,
                        static_cast<std::size_t>(w), pipe.get()) == static_cast<std::size_t>(w);
    }
    if (!ok) break;
    frames.push_back(std::move(frame));
  }
  return frames;
}

struct Point {
  std::string name;
  double psnr = 0;
  double bytes = 0;  // per frame
  double cpuMs = 0;  // per frame
};

using EncodeFn = std::function<void(const AVFrame&, std::vector<PacketPtr>&)>;

Point Measure(const std::string& name, const std::vector<FramePtr>& frames, const EncodeFn& encode, int rounds) {
  std::vector<PacketPtr> packets;
  const double start = ThreadCpuSeconds();
  for (int round = 0; round < rounds; ++round) {
    packets.clear();
    for (const FramePtr& frame : frames) encode(*frame, packets);
  }
  const double cpu = ThreadCpuSeconds() - start;
  CodecContextPtr decoder(avcodec_alloc_context3(avcodec_find_decoder(AV_CODEC_ID_MJPEG)));
  avcodec_open2(decoder.get(), nullptr, nullptr);
  double squared = 0, samples = 0, bytes = 0;
  FramePtr decoded = MakeFrame();
  const bool decode = !std::getenv("NO_PSNR");
  for (std::size_t i = 0; i < packets.size() && i < frames.size(); ++i) {
    bytes += packets[i]->size;
    if (!decode) continue;
    if (avcodec_send_packet(decoder.get(), packets[i].get()) < 0 ||
        avcodec_receive_frame(decoder.get(), decoded.get()) < 0) {
      std::fprintf(stderr, "%s: frame %zu does not decode\n", name.c_str(), i);
      continue;
    }
    const AVFrame& source = *frames[i];
    for (int plane = 0; plane < 3; ++plane) {
      const int w = plane ? source.width / 2 : source.width, h = plane ? source.height / 2 : source.height;
      for (int y = 0; y < h; ++y) {
        const std::uint8_t* a = source.data[plane] + static_cast<std::ptrdiff_t>(y) * source.linesize[plane];
        const std::uint8_t* b = decoded->data[plane] + static_cast<std::ptrdiff_t>(y) * decoded->linesize[plane];
        for (int x = 0; x < w; ++x) squared += (a[x] - b[x]) * (a[x] - b[x]);
      }
      samples += static_cast<double>(w) * h;
    }
    av_frame_unref(decoded.get());
  }
  const double n = static_cast<double>(frames.size());
  return {name, 10 * std::log10(255.0 * 255.0 / (squared / samples)), bytes / n, 1000 * cpu / (n * rounds)};
}

EncodeFn Ffmpeg(int q, int width, int height) {
  auto context = std::make_shared<CodecContextPtr>(avcodec_alloc_context3(avcodec_find_encoder(AV_CODEC_ID_MJPEG)));
  AVCodecContext& c = **context;
  c.width = width;
  c.height = height;
  c.pix_fmt = AV_PIX_FMT_YUVJ420P;
  c.time_base = {1, 30};
  c.thread_count = 1;
  c.flags |= AV_CODEC_FLAG_QSCALE;
  c.global_quality = FF_QP2LAMBDA * q;
  avcodec_open2(&c, nullptr, nullptr);
  auto next = std::make_shared<std::int64_t>(0);
  return [context, q, next](const AVFrame& frame, std::vector<PacketPtr>& out) {
    FramePtr copy = MakeFrame();
    av_frame_ref(copy.get(), &frame);
    copy->pts = (*next)++;
    copy->quality = FF_QP2LAMBDA * q;
    copy->pict_type = AV_PICTURE_TYPE_NONE;
    avcodec_send_frame(context->get(), copy.get());
    PacketPtr packet = MakePacket();
    while (avcodec_receive_packet(context->get(), packet.get()) == 0) {
      out.push_back(std::move(packet));
      packet = MakePacket();
    }
  };
}

CodecParametersPtr Source(int width, int height) {
  CodecParametersPtr source(avcodec_parameters_alloc());
  source->codec_type = AVMEDIA_TYPE_VIDEO;
  source->format = AV_PIX_FMT_YUVJ420P;
  source->width = width;
  source->height = height;
  return source;
}

EncodeFn Turbo(int quality, int width, int height) {
  std::shared_ptr<TurboJpegEncoder> encoder = TurboJpegEncoder::Create(*Source(width, height), quality);
  return [encoder](const AVFrame& frame, std::vector<PacketPtr>& out) { (void)encoder->Encode(frame, out); };
}

EncodeFn Ours(int quality, int width, int height, JpegTuning tuning) {
  std::shared_ptr<JpegEncoder> encoder = JpegEncoder::Create(*Source(width, height), quality, tuning);
  if (!encoder) std::fprintf(stderr, "no encoder\n");
  return [encoder](const AVFrame& frame, std::vector<PacketPtr>& out) { (void)encoder->Encode(frame, out); };
}

// log(bytes) between the two curve points around the PSNR.
double BytesAt(const std::vector<Point>& curve, double psnr) {
  for (std::size_t i = 0; i + 1 < curve.size(); ++i) {
    const Point &a = curve[i], &b = curve[i + 1];
    if ((psnr - a.psnr) * (psnr - b.psnr) > 0) continue;
    const double t = (psnr - a.psnr) / (b.psnr - a.psnr);
    return std::exp(std::log(a.bytes) + t * (std::log(b.bytes) - std::log(a.bytes)));
  }
  return NAN;
}

void Print(const Point& p) {
  std::printf("%-34s %7.2f dB %10.0f B %8.2f ms\n", p.name.c_str(), p.psnr, p.bytes, p.cpuMs);
}

// CPU per frame of FFmpeg's -q:v 6, TurboJPEG's 85 and ours at QUALITY, each the least of
// five rounds taken in turn, so that a busy moment on the machine falls on all alike.
int CompareCpu(int count, const std::vector<std::pair<int, int>>& sizes, int quality) {
  for (auto [width, height] : sizes) {
    for (bool noise : {false, true}) {
      const auto frames = SourceFrames(width, height, noise, count);
      std::vector<std::pair<std::string, EncodeFn>> encoders = {
          {"ours " + std::to_string(quality), Ours(quality, width, height, JpegTuning{})}};
      if (!std::getenv("ONLY_OURS")) {
        encoders.emplace_back("ffmpeg -q:v 6", Ffmpeg(6, width, height));
        encoders.emplace_back("turbojpeg 85", Turbo(85, width, height));
      }
      std::vector<Point> best(encoders.size());
      for (int round = 0; round < (std::getenv("ONLY_OURS") ? 40 : 5); ++round)
        for (std::size_t i = 0; i < encoders.size(); ++i) {
          const Point p = Measure(encoders[i].first, frames, encoders[i].second, 1);
          if (round == 0 || p.cpuMs < best[i].cpuMs) best[i] = p;
        }
      std::printf("\n== %dx%d %s\n", width, height, noise ? "noise" : "pattern");
      for (const Point& p : best) Print(p);
    }
  }
  return 0;
}

}  // namespace

int main(int argc, char** argv) {
  const int count = argc > 1 ? std::atoi(argv[1]) : 6;
  std::vector<std::pair<int, int>> sizes;
  for (int i = 2; i < argc; ++i) {
    int w = 0, h = 0;
    if (std::sscanf(argv[i], "%dx%d", &w, &h) == 2) sizes.emplace_back(w, h);
  }
  if (sizes.empty()) sizes = {{1280, 720}, {1920, 1080}};
  if (const char* cpu = std::getenv("CPU")) return CompareCpu(count, sizes, std::atoi(cpu));
  const char* variants = std::getenv("VARIANTS");
  const std::string which = variants ? variants : "flat r0.300 every32";
  for (auto [width, height] : sizes) {
    for (bool noise : {false, true}) {
      const auto frames = SourceFrames(width, height, noise, count);
      std::printf("\n== %dx%d %s, %zu frames\n", width, height, noise ? "noise" : "pattern", frames.size());
      std::vector<Point> reference;
      for (int q : {3, 4, 5, 6, 7, 9}) {
        reference.push_back(Measure("ffmpeg -q:v " + std::to_string(q), frames, Ffmpeg(q, width, height), 2));
        Print(reference.back());
      }
      std::vector<Point> turbo;
      for (int quality : {95, 90, 85, 82, 75, 60}) {
        turbo.push_back(Measure("turbojpeg " + std::to_string(quality), frames, Turbo(quality, width, height), 2));
        Print(turbo.back());
      }
      struct Variant {
        std::string name;
        JpegTuning tuning;
      };
      std::vector<Variant> tunings;
      for (double rounding : {0.5, 0.375, 0.3, 0.25})
        for (auto [shapeName, shape] :
             {std::pair{"standard", jpeg::TableShape::kStandard}, std::pair{"gentle", jpeg::TableShape::kGentle},
              std::pair{"flat", jpeg::TableShape::kFlat}})
          for (int every : {1, 8, 16, 32}) {
            const std::string name = std::string(shapeName) + " r" + std::to_string(rounding).substr(0, 5) + " every" +
                                     std::to_string(every);
            if (which != "all" && name.find(which) == std::string::npos) continue;
            tunings.push_back({name, {rounding, shape, every}});
          }
      for (const Variant& variant : tunings) {
        std::vector<Point> curve;
        for (int quality : {98, 95, 92, 90, 87, 85, 82, 78, 75, 70, 60, 50}) {
          curve.push_back(Measure(variant.name + " q" + std::to_string(quality), frames,
                                  Ours(quality, width, height, variant.tuning), 2));
          if (std::getenv("CURVES")) Print(curve.back());
        }
        double cpu = 0;
        for (const Point& p : curve) cpu += p.cpuMs / static_cast<double>(curve.size());
        std::printf("%-28s cpu %.2f ms:", variant.name.c_str(), cpu);
        for (const Point& r : reference)
          std::printf("  q%s %.2fx", r.name.substr(11).c_str(), BytesAt(curve, r.psnr) / r.bytes);
        std::printf("\n");
      }
      std::printf("%-28s:", "turbojpeg");
      for (const Point& r : reference)
        std::printf("  q%s %.2fx", r.name.substr(11).c_str(), BytesAt(turbo, r.psnr) / r.bytes);
      std::printf("\n");
    }
  }
  return 0;
}
