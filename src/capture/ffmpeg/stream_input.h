#pragma once

#include <atomic>
#include <chrono>
#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "capture/ffmpeg/driver_result.h"
#include "capture/ffmpeg/ffmpeg_handles.h"

namespace tovalen::ffmpeg {

enum class RtspTransport {
  kAutomatic,  // FFmpeg's own order: UDP first, then TCP
  kTcp,
  kUdp,
};

struct StreamInputOptions {
  std::chrono::milliseconds deadline{10000};  // the opening gives up after this
  RtspTransport rtspTransport = RtspTransport::kAutomatic;
  std::vector<std::pair<std::string, std::string>> demuxerOptions;  // extra, given as they are
};

// What FFmpeg's interrupt callback reads while a stream's input lives: a deadline re-armed
// before each blocking step, and a cancel any thread may set. Shared, so that a thread that
// cancels never touches a closed input.
class StreamInterrupt {
 public:
  // The next blocking steps give up once this time has passed from now.
  void Arm(std::chrono::milliseconds limit);
  // No deadline (the protocols' own timeouts still hold).
  void Disarm();
  // Every blocking step, now and later, gives up at once.
  void Cancel() { m_cancelled.store(true); }
  bool Cancelled() const { return m_cancelled.load(); }
  // Whether the armed deadline has passed.
  bool Expired() const;

  // The callback FFmpeg calls, with the interrupt as its opaque pointer.
  static int Check(void* interrupt);

 private:
  static constexpr std::int64_t kNever = INT64_MAX;
  std::atomic<bool> m_cancelled{false};
  std::atomic<std::int64_t> m_deadlineNs{kNever};  // on the steady clock
};

// An opened stream: FFmpeg's input and the interrupt it reads, closed in that order.
class StreamInput {
 public:
  StreamInput(InputContextPtr context, std::shared_ptr<StreamInterrupt> interrupt);
  StreamInput(StreamInput&&) = default;
  StreamInput& operator=(StreamInput&& other) noexcept;
  ~StreamInput();

  AVFormatContext* Context() const { return m_context.get(); }
  StreamInterrupt& Interrupt() const { return *m_interrupt; }
  std::shared_ptr<StreamInterrupt> SharedInterrupt() const { return m_interrupt; }

 private:
  void Close();

  std::shared_ptr<StreamInterrupt> m_interrupt;  // outlives the context that calls it
  InputContextPtr m_context;
};

// Opens a network stream: only a stream's scheme, only the protocols of kStreamProtocolWhitelist
// (for whatever a playlist names too), within options.deadline. Neither the error nor any trace
// holds the URL's credentials. The returned input is disarmed: its reader arms it per read.
Result<StreamInput> OpenStreamInput(const std::string& url, const StreamInputOptions& options);

// As OpenStreamInput, giving up at once when `interrupt` is cancelled from another thread.
Result<StreamInput> OpenStreamInput(const std::string& url, const StreamInputOptions& options,
                                    std::shared_ptr<StreamInterrupt> interrupt);

// Why a step on the stream (`what`: "open", "read", ...) failed with FFmpeg's code: "no answer
// within N s" when its deadline of `limit` passed, "cancelled" when it was, FFmpeg's text
// otherwise; the URL as MaskedUrl shows it.
DriverError StreamFailure(const std::string& what, const std::string& url, int code, const StreamInterrupt& interrupt,
                          std::chrono::milliseconds limit);

// The text with every URL in it shown without its credentials: for FFmpeg's own log lines,
// which may name a stream's URL or one its playlist names.
std::string MaskUrlsInText(std::string_view text);

}  // namespace tovalen::ffmpeg
