#include "capture/ffmpeg/stream_input.h"

#include <cctype>

#include "capture/ffmpeg/format_media_source.h"
#include "capture/ffmpeg/stream_session.h"
#include "capture/stream_url.h"

extern "C" {
#include <libavutil/mem.h>
}

namespace tovalen::ffmpeg {
namespace {

std::int64_t SteadyNowNs() {
  return std::chrono::duration_cast<std::chrono::nanoseconds>(std::chrono::steady_clock::now().time_since_epoch())
      .count();
}

// The protocols' own timeouts, in microseconds: a socket that answers nothing gives up even
// where FFmpeg does not look at the interrupt (a blocking connect, rtsp's setup).
void SetProtocolTimeouts(Options& options, std::chrono::milliseconds deadline) {
  const std::string us = std::to_string(std::chrono::duration_cast<std::chrono::microseconds>(deadline).count());
  options.Set("timeout", us);  // http, tcp, udp, srt; rtsp's socket timeout
  options.Set("rw_timeout", us);
}

const char* TransportName(RtspTransport transport) {
  switch (transport) {
    case RtspTransport::kTcp:
      return "tcp";
    case RtspTransport::kUdp:
      return "udp";
    case RtspTransport::kAutomatic:
      break;
  }
  return nullptr;
}

bool IsProtocolListOption(const std::string& key) { return key.rfind("protocol_", 0) == 0; }

std::string Seconds(std::chrono::milliseconds limit) {
  const auto ms = limit.count();
  return ms % 1000 == 0 ? std::to_string(ms / 1000) + " s" : std::to_string(ms) + " ms";
}

bool EndsUrl(char c) {
  return std::isspace(static_cast<unsigned char>(c)) || c == '\'' || c == '"' || c == '<' || c == '>';
}

}  // namespace

void StreamInterrupt::Arm(std::chrono::milliseconds limit) {
  m_deadlineNs.store(SteadyNowNs() + std::chrono::duration_cast<std::chrono::nanoseconds>(limit).count());
}

void StreamInterrupt::Disarm() { m_deadlineNs.store(kNever); }

bool StreamInterrupt::Expired() const { return SteadyNowNs() >= m_deadlineNs.load(); }

int StreamInterrupt::Check(void* interrupt) {
  const auto* self = static_cast<const StreamInterrupt*>(interrupt);
  return self->Cancelled() || self->Expired() ? 1 : 0;
}

StreamInput::StreamInput(InputContextPtr context, std::shared_ptr<StreamInterrupt> interrupt)
    : m_interrupt(std::move(interrupt)), m_context(std::move(context)) {}

StreamInput& StreamInput::operator=(StreamInput&& other) noexcept {
  if (this == &other) return *this;
  Close();
  m_interrupt = std::move(other.m_interrupt);
  m_context = std::move(other.m_context);
  return *this;
}

StreamInput::~StreamInput() { Close(); }

// Closing may talk to the server (rtsp's TEARDOWN): a short while, never a hang.
void StreamInput::Close() {
  if (!m_context) return;
  m_interrupt->Arm(std::chrono::seconds(1));
  m_context.reset();
}

DriverError StreamFailure(const std::string& what, const std::string& url, int code, const StreamInterrupt& interrupt,
                          std::chrono::milliseconds limit) {
  const std::string subject = what + " " + MaskedUrl(url);
  if (interrupt.Cancelled()) return {StopReason::kDeviceOpenFailed, subject + ": cancelled"};
  if (code == AVERROR_EXIT || code == AVERROR(ETIMEDOUT) || interrupt.Expired())
    return {StopReason::kDeviceOpenFailed, subject + ": no answer within " + Seconds(limit)};
  DriverError error = AvFailure(StopReason::kDeviceOpenFailed, subject, code);
  error.detail = WithoutCredentials(error.detail, url);
  return error;
}

Result<StreamInput> OpenStreamInput(const std::string& url, const StreamInputOptions& options) {
  return OpenStreamInput(url, options, std::make_shared<StreamInterrupt>());
}

Result<StreamInput> OpenStreamInput(const std::string& url, const StreamInputOptions& options,
                                    std::shared_ptr<StreamInterrupt> interrupt) {
  if (!IsStreamScheme(url))
    return DriverError{StopReason::kDeviceOpenFailed,
                       "open " + MaskedUrl(url) + ": not a network stream (http, https, rtsp, rtsps, rtp, udp or srt)"};
  for (const auto& [key, value] : options.demuxerOptions)
    if (IsProtocolListOption(key))
      return DriverError{StopReason::kDeviceOpenFailed, "open " + MaskedUrl(url) + ": " + key + " cannot be changed"};
  RegisterDevices();
  avformat_network_init();

  InputContextPtr context(avformat_alloc_context());
  if (!context) throw std::bad_alloc();
  context->interrupt_callback = {&StreamInterrupt::Check, interrupt.get()};
  Options dictionary;
  SetProtocolTimeouts(dictionary, options.deadline);
  if (const char* transport = TransportName(options.rtspTransport)) dictionary.Set("rtsp_transport", transport);
  for (const auto& [key, value] : options.demuxerOptions) dictionary.Set(key.c_str(), value);
  // Also the format context's own, which a playlist's nested openings inherit.
  dictionary.Set("protocol_whitelist", kStreamProtocolWhitelist);

  interrupt->Arm(options.deadline);
  AVFormatContext* raw = context.release();
  // avformat_open_input frees the context itself when it fails.
  if (const int rc = avformat_open_input(&raw, url.c_str(), nullptr, dictionary.Address()); rc < 0)
    return StreamFailure("open", url, rc, *interrupt, options.deadline);
  context.reset(raw);
  interrupt->Disarm();
  return StreamInput(std::move(context), std::move(interrupt));
}

std::string MaskUrlsInText(std::string_view text) {
  std::string result;
  std::size_t done = 0;
  for (std::size_t scheme = text.find("://"); scheme != std::string_view::npos; scheme = text.find("://", done)) {
    std::size_t start = scheme;
    while (start > done && std::isalnum(static_cast<unsigned char>(text[start - 1]))) --start;
    std::size_t end = scheme + 3;
    while (end < text.size() && !EndsUrl(text[end])) ++end;
    result.append(text.substr(done, start - done));
    result += MaskedUrl(text.substr(start, end - start));
    done = end;
  }
  result.append(text.substr(done));
  return result;
}

}  // namespace tovalen::ffmpeg
