#include "capture/ffmpeg/test_pattern_device.h"

#include "capture/ffmpeg/filter_graph_source.h"
#include "capture/ffmpeg/format_media_source.h"
#include "platform/trace.h"

extern "C" {
#include <libavfilter/version.h>
#include <libavutil/pixdesc.h>
}

namespace tovalen::ffmpeg {
namespace {

// Stored settings keep an input by its index: new inputs go at the end.
const std::vector<std::string> kInputs{"Test picture", "Colour bars", "Noisy test picture"};
const char* const kInputGraphs[] = {"testsrc2", "smptebars", "testsrc2"};
// Camera-like noise, changing every frame; its seed is fixed, so the picture can be made again.
const char* const kInputFilters[] = {"", "", ",noise=alls=10:allf=t"};

const std::vector<FrameSize> kSizes{{160, 120}, {320, 240},  {352, 288},  {640, 480},   {720, 480},   {720, 576},
                                    {800, 600}, {1024, 768}, {1280, 720}, {1280, 1024}, {1920, 1080}, {3840, 2160}};

int ControlValue(const DeviceSettings& settings, const std::string& name, int fallback) {
  const auto found = settings.controls.find(name);
  return found == settings.controls.end() ? fallback : found->second;
}

// The eq filter only when a control is away from its default: it costs time on every frame.
std::string PictureFilter(const DeviceSettings& settings) {
  const int brightness = ControlValue(settings, "brightness", 0);
  const int contrast = ControlValue(settings, "contrast", 100);
  if (brightness == 0 && contrast == 100) return "";
  return ",eq=brightness=" + std::to_string(brightness / 100.0) + ":contrast=" + std::to_string(contrast / 100.0);
}

}  // namespace

std::string TestPatternDevice::Name() const { return "テストパターン"; }

std::string TestPatternDevice::Version() const { return "libavfilter " AV_STRINGIFY(LIBAVFILTER_VERSION); }

std::vector<VideoFormatOffer> TestPatternDevice::VideoFormats() const {
  return {{"yuv420p", kSizes}, {"yuyv422", kSizes}, {"rgb24", kSizes}};
}

std::vector<std::string> TestPatternDevice::Inputs() const { return kInputs; }

std::vector<PictureControl> TestPatternDevice::Controls() const {
  return {{"brightness", -100, 100, 1, 0}, {"contrast", 0, 200, 1, 100}};
}

std::string TestPatternDevice::VideoGraph(const VideoRequest& request, FrameSize defaultSize) {
  const DeviceSettings& settings = request.settings;
  const FrameSize size = settings.size.IsSet() ? settings.size : defaultSize;
  const int input = settings.input >= 0 && settings.input < static_cast<int>(kInputs.size()) ? settings.input : 0;
  std::string format = settings.pixelFormat;
  if (format.empty() && request.encoderPixelFormat != AV_PIX_FMT_NONE)
    format = av_get_pix_fmt_name(request.encoderPixelFormat);
  std::string graph = std::string(kInputGraphs[input]) + "=size=" + size.ToString() +
                      ":rate=" + std::to_string(request.frameRate.num) + "/" + std::to_string(request.frameRate.den);
  graph += kInputFilters[input];
  graph += PictureFilter(settings);
  if (!format.empty()) graph += ",format=" + format;
  return graph + ",realtime";
}

std::string TestPatternDevice::AudioGraph(const AudioRequest& request) {
  // 20 ms per packet keeps the tone as fine-grained as a sound card's periods.
  const int samplesPerFrame = request.sampleRate / 50;
  return "sine=frequency=440:sample_rate=" + std::to_string(request.sampleRate) +
         ":samples_per_frame=" + std::to_string(samplesPerFrame) + ",arealtime";
}

OpenedSource TestPatternDevice::OpenVideo(const VideoRequest& request) {
  const std::string graph = VideoGraph(request, DefaultSize());
  Trace("D: test pattern: " + graph + "\n");
  return FilterGraphSource::Open(graph);
}

OpenedSource TestPatternDevice::OpenAudio(const AudioRequest& request) {
  DeviceInput input;
  input.format = "lavfi";
  input.url = AudioGraph(request);
  input.mediaType = AVMEDIA_TYPE_AUDIO;
  return FormatMediaSource::Open(input);
}

}  // namespace tovalen::ffmpeg
