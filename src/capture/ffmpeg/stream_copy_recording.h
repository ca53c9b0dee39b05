#pragma once

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <deque>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include "capture/ffmpeg/avi_writer.h"
#include "capture/ffmpeg/running_capture.h"
#include "capture/ffmpeg/stream_copy_writer.h"
#include "capture/ffmpeg/stream_session.h"
#include "platform/main_loop.h"

namespace tovalen::ffmpeg {

// Everything one copy of a stream records.
struct StreamCopyJob {
  std::shared_ptr<StreamSession> session;  // opened for its packets as they come
  ContainerFormat container;
  SpaceProbe spaceProbe = ProbeSpace;
  std::optional<std::uint64_t> timeLimitMs;  // from the first key frame, on the session's clock
  std::chrono::milliseconds giveUp{30000};   // without a time limit: nothing for this long ends it
};

// A stream's packets written as they come into a container, without decoding, on the session's
// reading thread (as the ffmpeg program copies on one thread: a thread of its own would wake only
// to move packets). The recording starts at the first video key frame (sound before it is
// dropped) and its timestamps are the session's (steady-clock microseconds) less that frame's, so
// the time a reconnection took stays a gap. Each video packet is a frame notice, as each frame of
// an encoding capture; the caller's thread hears of them a few times a second.
//
// How it ends: at the time limit (a packet past it, or the clock past it while none comes), at
// RequestStop (a stop request, abort input, a signal), when the session has given up, or when
// the file fails (full disk, the size limit). A watching thread, which looks at the clock once
// a second, then lets the sound the stream sends behind its picture come up to the picture's end
// (a second at most), takes the session's packets back, finishes the file and wakes the caller's
// thread.
class StreamCopyRecording final : public RunningCapture, private StreamPacketSink {
 public:
  // Checks that the container holds the session's streams, then starts taking its packets; the
  // file in fd is written from the first key frame on.
  static Result<std::unique_ptr<StreamCopyRecording>> Start(const StreamCopyJob& job, int fd, MainLoop& loop);
  ~StreamCopyRecording() override;
  StreamCopyRecording(const StreamCopyRecording&) = delete;
  StreamCopyRecording& operator=(const StreamCopyRecording&) = delete;

  std::vector<FrameNotice> TakeFrameNotices() override;
  void RequestStop(StopReason reason, const std::string& detail = {}) override;
  bool Finished() const override;
  CaptureOutcome Finish() override;
  bool LostAtTheEnd() const override;
  CaptureOutcome Progress() const override;
  FrameSize ImageSize() const override;
  void SetPreviewWindowSize(FrameSize) override {}  // nothing is decoded, so nothing is drawn

 private:
  StreamCopyRecording(const StreamCopyJob& job, int fd, MainLoop& loop);
  void Take(AVMediaType type, PacketPtr packet) override;
  void CaughtUp() override { TellTheFrames(true); }
  void GivenUp(const DriverError& why) override;
  void Watch();
  void FinishFile();
  void TakeVideo(PacketPtr packet);
  void TakeAudio(PacketPtr packet);
  void TakeSoundAfterTheStop(PacketPtr packet);
  bool PastTheTimeLimit(std::int64_t sinceFirstUs);
  void EndIfTheStreamStaysGone();
  void WritePacket(CopiedPacket item);
  void CheckRoomNow();
  void TellTheFrames(bool now = false);
  void Stop(StopReason reason, const std::string& detail);
  void Fail(const DriverError& error);
  std::int64_t MicrosecondsOf(const AVPacket& packet, const StreamTrack& track) const;
  void ShiftToTheRecording(AVPacket& packet, const StreamTrack& track) const;

  StreamCopyJob m_job;
  MainLoop& m_loop;
  std::int64_t m_startUs;  // on the steady clock
  StreamCopyWriter m_writer;

  // The session's thread's own while it hands packets on; the watching thread's afterwards.
  std::optional<std::int64_t> m_firstUs;  // the first key frame's time on the session's clock
  bool m_waitForKeyFrame = false;         // connected again: nothing is taken before a key frame
  std::uint32_t m_reconnects = 0;         // the session's count when the last video packet came
  bool m_writing = true;                  // false once the file has failed
  std::int64_t m_roomCheckUs;             // on the steady clock
  std::uint64_t m_bytesAtRoomCheck = 0;
  std::int64_t m_toldUs;                      // when the caller's thread last heard of frames
  std::int64_t m_batchEndUs = INT64_MIN / 2;  // when the session last said a batch was written
  std::int64_t m_pictureEndUs = 0;            // the end of the last frame written, from the first key frame

  std::atomic<std::int64_t> m_lastPacketUs;  // on the steady clock, when the last packet came
  std::atomic<bool> m_gaveUp{false};         // the session has given the stream up

  mutable std::mutex m_mutex;  // guards the members below
  std::condition_variable m_wake;
  bool m_stopped = false;
  bool m_finished = false;
  std::optional<StopReason> m_reason;
  bool m_lostAtTheEnd = false;                  // the stream was gone when the recording ended
  bool m_soundCaughtUp;                         // after the stop, the sound has reached the picture's end
  std::optional<std::int64_t> m_firstSteadyUs;  // when the first key frame came
  std::optional<std::int64_t> m_stopSteadyUs;
  CaptureOutcome m_outcome;  // the counts and the detail of m_reason
  std::deque<FrameNotice> m_notices;

  std::jthread m_watcher;  // last: joined before anything it uses goes
};

}  // namespace tovalen::ffmpeg
