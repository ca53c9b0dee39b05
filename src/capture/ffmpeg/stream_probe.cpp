#include "capture/ffmpeg/stream_input.h"
#include "capture/ffmpeg/stream_session.h"
#include "capture/stream_url.h"

namespace tovalen::ffmpeg {
namespace {

std::optional<AVCodecID> BestCodec(AVFormatContext& input, AVMediaType type) {
  const int index = av_find_best_stream(&input, type, -1, -1, nullptr, 0);
  if (index < 0) return std::nullopt;
  const AVCodecID codec = input.streams[index]->codecpar->codec_id;
  return codec == AV_CODEC_ID_NONE ? std::nullopt : std::optional(codec);
}

// Whether the header named every stream's codec (a transport stream's table, a session
// description): then nothing needs decoding to know what a copy would hold.
bool HeaderNamedTheCodecs(const AVFormatContext& input) {
  if (input.nb_streams == 0) return false;
  for (unsigned int i = 0; i < input.nb_streams; ++i) {
    const AVCodecParameters& parameters = *input.streams[i]->codecpar;
    if (parameters.codec_type == AVMEDIA_TYPE_UNKNOWN || parameters.codec_id == AV_CODEC_ID_NONE) return false;
  }
  return true;
}

}  // namespace

Result<StreamProbe> ProbeStream(const std::string& url, std::chrono::milliseconds timeLimit) {
  const auto start = std::chrono::steady_clock::now();
  StreamInputOptions options;
  options.deadline = timeLimit;
  Result<StreamInput> input = OpenStreamInput(url, options);
  if (!input) return input.Error();

  const auto left =
      timeLimit - std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::steady_clock::now() - start);
  input->Interrupt().Arm(std::max(left, std::chrono::milliseconds(0)));
  AVFormatContext& context = *input->Context();
  const int rc = HeaderNamedTheCodecs(context) ? 0 : avformat_find_stream_info(&context, nullptr);
  StreamProbe probe{BestCodec(context, AVMEDIA_TYPE_VIDEO), BestCodec(context, AVMEDIA_TYPE_AUDIO)};
  // What the header named is enough for a copy's check, even if a closer look ran out of time.
  if (rc < 0 && !probe.video && !probe.audio) return StreamFailure("probe", url, rc, input->Interrupt(), timeLimit);
  if (!probe.video && !probe.audio)
    return DriverError{StopReason::kDeviceOpenFailed, "probe " + MaskedUrl(url) + ": no picture and no sound"};
  return probe;
}

}  // namespace tovalen::ffmpeg
