#include "capture/ffmpeg/format_media_source.h"

#include <cerrno>
#include <cstdarg>
#include <mutex>

#include "capture/ffmpeg/stream_input.h"
#include "platform/trace.h"

extern "C" {
#include <libavdevice/avdevice.h>
#include <libavutil/log.h>
}

namespace tovalen::ffmpeg {

namespace {

// FFmpeg's warnings and errors go to the trace channel, like the program's own; its progress
// chatter (encoder statistics) is left out. A URL it names (a stream's, a playlist's segment)
// loses its credentials.
void RouteLogToTrace(void* context, int level, const char* format, va_list arguments) {
  if (level > AV_LOG_WARNING) return;
  thread_local int printPrefix = 1;
  char line[1024];
  av_log_format_line2(context, level, format, arguments, line, sizeof line, &printPrefix);
  Trace("D: ffmpeg: " + MaskUrlsInText(line));
}

}  // namespace

void RegisterDevices() {
  static std::once_flag once;
  std::call_once(once, [] {
    avdevice_register_all();
    av_log_set_callback(RouteLogToTrace);
  });
}

DriverError DeviceOpenFailure(const std::string& what, int code) {
  return AvFailure(code == AVERROR(EBUSY) ? StopReason::kDeviceBusy : StopReason::kDeviceOpenFailed, what, code);
}

OpenedSource FormatMediaSource::Open(const DeviceInput& request) {
  RegisterDevices();
  const std::string what = request.format + " " + request.url;
  const AVInputFormat* format = av_find_input_format(request.format.c_str());
  if (!format) return DeviceOpenFailure(what, AVERROR_DEMUXER_NOT_FOUND);
  InputContextPtr input(avformat_alloc_context());
  if (!input) throw std::bad_alloc();
  if (request.nonBlocking) input->flags |= AVFMT_FLAG_NONBLOCK;

  Options options;
  for (const auto& [key, value] : request.options) options.Set(key.c_str(), value);
  AVFormatContext* raw = input.release();
  // avformat_open_input frees the context itself when it fails.
  if (const int rc = avformat_open_input(&raw, request.url.c_str(), format, options.Address()); rc < 0)
    return DeviceOpenFailure(what, rc);
  input.reset(raw);
  // No avformat_find_stream_info: device inputs describe their streams in the header, and
  // probing would read (and for paced sources, wait for) frames before the capture begins.
  const int index = av_find_best_stream(input.get(), request.mediaType, -1, -1, nullptr, 0);
  if (index < 0) return DeviceOpenFailure(what, index);
  AVStream* stream = input->streams[index];
  return std::unique_ptr<MediaSource>(new FormatMediaSource(std::move(input), stream));
}

ReadResult FormatMediaSource::Read(AVPacket& packet) {
  for (;;) {
    const int rc = av_read_frame(m_input.get(), &packet);
    if (rc == AVERROR(EAGAIN)) return {ReadStatus::kAgain, 0};
    if (rc == AVERROR_EOF) return {ReadStatus::kEnd, 0};
    if (rc < 0) return {ReadStatus::kError, rc};
    if (packet.stream_index == m_stream->index) return {ReadStatus::kPacket, 0};
    av_packet_unref(&packet);
  }
}

}  // namespace tovalen::ffmpeg
