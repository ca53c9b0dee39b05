#pragma once

#include <atomic>
#include <chrono>
#include <cstdint>
#include <deque>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include "capture/capture_driver_records.h"
#include "capture/ffmpeg/audio_converter.h"
#include "capture/ffmpeg/avi_writer.h"
#include "capture/ffmpeg/bounded_queue.h"
#include "capture/ffmpeg/capture_device.h"
#include "capture/ffmpeg/driver_result.h"
#include "capture/ffmpeg/ordered_turns.h"
#include "capture/ffmpeg/preview_renderer.h"
#include "capture/ffmpeg/reopening_source.h"
#include "capture/ffmpeg/video_encoder.h"
#include "capture/latest_picture.h"
#include "capture/stop_reason.h"
#include "platform/main_loop.h"

namespace tovalen::ffmpeg {

// A stream that stalls or fails is opened again (see ReopeningSource) until the capture ends: at
// its time limit, when it has one, or after giveUp without a frame when it has none.
struct CaptureTimeouts {
  std::chrono::milliseconds firstFrame{5000};  // a device may take a while to start streaming
  std::chrono::milliseconds stall{2000};       // then no frame (or sound) for this long is a stall
  std::chrono::milliseconds firstRetry{250};   // before the first new opening; the wait doubles
  std::chrono::milliseconds longestRetry{4000};
  std::chrono::milliseconds giveUp{30000};    // without a time limit: no frame for this long ends the capture
  std::chrono::milliseconds audioTail{1000};  // after a stop, how long the sound may take to reach the video's end
};

// Everything one capture sequence records.
struct CaptureJob {
  std::shared_ptr<CaptureDevice> device;
  DeviceSettings settings;
  std::uint32_t microSecPerFrame = 66666;  // the file's frame rate
  std::optional<SWaveFormat> audio;        // nothing: no audio track
  std::optional<PreviewConfig> preview;    // nothing: nothing is drawn
  SpaceProbe spaceProbe = ProbeSpace;
  CaptureTimeouts timeouts;
  std::optional<std::uint64_t> timeLimitMs;      // on the capture clock, from the first frame
  std::shared_ptr<LatestPicture> latestPicture;  // none: no still picture is kept
};

// One captured frame, for the frame callback.
struct FrameNotice {
  std::uint32_t timeCapturedMs = 0;  // since the first frame
  std::uint32_t bytes = 0;
};

// Per stage, as the summary at the end reports them. Every captured frame ends up written or
// dropped at one of the two stages; a frame after the stop, or a second frame for one frame slot
// of the file, is not captured.
struct CaptureCounters {
  std::atomic<std::uint32_t> framesCaptured{0};
  std::atomic<std::uint32_t> droppedAtCapture{0};  // the encoder had no room, or had failed
  std::atomic<std::uint32_t> droppedAtWrite{0};    // the writer had no room, or had stopped writing
  std::atomic<std::uint32_t> skippedForRate{0};    // not captured: a second frame for one frame slot
  std::atomic<std::uint32_t> framesEncoded{0};
  std::atomic<std::uint32_t> framesWritten{0};  // video packets the file took
  std::atomic<std::uint64_t> audioSamples{0};
  std::atomic<std::uint32_t> audioPacketsDropped{0};
  std::atomic<std::uint32_t> noticesDropped{0};  // callbacks lost while the caller's thread was away

  std::uint32_t FramesDropped() const { return droppedAtCapture + droppedAtWrite; }
};

struct CaptureSummary {
  StopReason reason = StopReason::kStopRequested;
  std::string detail;
  // The device stalled or failed (the reason says which) but the capture went on to its end:
  // what the device delivered is the recording, not a failure.
  bool interrupted = false;
  std::uint32_t framesCaptured = 0;
  std::uint32_t framesDropped = 0;  // the two below together
  std::uint32_t droppedAtCapture = 0;
  std::uint32_t droppedAtWrite = 0;
  std::uint32_t framesWritten = 0;
  std::uint64_t audioSamples = 0;
  std::uint32_t elapsedMs = 0;
  FrameSize imageSize;
  bool hasAudio = false;
  std::uint64_t fileBytes = 0;
};

// A running capture: reader threads for the video and the sound, video encoders, an audio
// converter and a writer, joined by bounded queues. Readers never wait: a frame the encoders
// have no room for is dropped and counted, and so is one the writer has no room for, before it
// is encoded. Where each frame is compressed on its own (JPEG), two encoder workers take the
// frames as they come free, so a second core keeps up when one falls behind; each hands its
// frames to m_writeQueue in m_videoQueue's order, waiting its turn (m_encodeTurns). The
// caller's thread collects the frame notices and asks for the stop; the workers wake it through
// the main loop. The readers open a device that stalls or fails again (ReopeningSource) and read
// on; frames keep their capture times, so the time without frames stays a gap in the file.
// The sound is converted only as far as the video handed to the writer has come
// (m_videoReachedUs), so that it never outlasts the video, however the capture ends.
//
// How it ends. Each value below changes once (m_producers counts down); each worker closes what
// it feeds when its own input has ended, so the end runs down the chain and every worker ends:
// 1. m_stopUs, the capture time after which nothing is recorded: set with the reason, under
//    m_mutex, by StopAt. It comes from the caller's thread (CaptureStop, abort input, the
//    destructor), from ReadVideo at the time limit or when it gives up on a device that stays
//    gone, or from any worker that fails (Fail). It never falls before a frame already counted
//    as captured. ReadVideo reads on until a frame from after it, two frame periods with
//    nothing, a stall period, or the device closed, then closes m_videoQueue. ConvertAudio cuts
//    the sound one frame after it while the video has not ended.
// 2. m_videoEndUs: set by the last EncodeVideo worker to find m_videoQueue drained (its encoder
//    flushed), to the end of the last frame slot written (INT64_MAX when no frame was encoded).
//    ReadAudio, after the stop, reads until its sound reaches it (or for audioTail at most),
//    then closes m_audioQueue (at once when its input is gone); ConvertAudio cuts the sound
//    there, and fills it with silence up to there when it ended early.
// 3. m_producers: each EncodeVideo worker and ConvertAudio count it down when their input is
//    drained; the last closes m_writeQueue.
// 4. m_finished: set by Write when m_writeQueue is drained and the file is finished (index,
//    cut, flushed); it wakes the caller's thread, which then joins the workers in Finish.
// A worker that fails stops the capture through Fail and goes on taking its input without
// using it, so no worker before it waits; an encoder worker still takes every turn it popped,
// and once a frame has failed (m_failedTurn) the frames after it in order are dropped.
// Out of room, Write still takes the sound up to the last frame it wrote, and nothing more.
// m_streamStartUs (set once by ReadVideo at the first frame) and m_videoReachedUs (by the
// encoder worker whose turn it is) end nothing by themselves.
class CapturePipeline {
 public:
  // Opens the device's streams and the AVI file in fd and starts the workers.
  static Result<std::unique_ptr<CapturePipeline>> Start(const CaptureJob& job, int fd, MainLoop& loop);
  ~CapturePipeline();
  CapturePipeline(const CapturePipeline&) = delete;
  CapturePipeline& operator=(const CapturePipeline&) = delete;

  // --- On the caller's thread ---
  // The notices of the frames captured since the last call, in order.
  std::vector<FrameNotice> TakeFrameNotices();
  // Ends the capture: frames captured after this moment are not recorded. A frame already
  // counted as captured is never taken back.
  void RequestStop(StopReason reason, const std::string& detail = {});
  // True once the file is complete; then Finish returns at once.
  bool Finished() const { return m_finished; }
  CaptureSummary Finish();

  const CaptureCounters& Counters() const { return m_counters; }
  FrameSize ImageSize() const { return m_imageSize; }
  bool HasAudio() const { return m_audioSource != nullptr; }
  std::uint32_t ElapsedMs() const;
  void SetPreviewWindowSize(FrameSize window);

 private:
  struct CapturedPacket {
    PacketPtr packet;
    std::int64_t captureUs = 0;
    std::int64_t slot = 0;   // the video frame's place in the file
    std::uint64_t turn = 0;  // the video frame's place in m_videoQueue's order
  };
  struct OutputPacket {
    PacketPtr packet;
    int stream = 0;
  };

  static constexpr std::int64_t kNoStop = INT64_MAX;        // m_stopUs before a stop
  static constexpr std::int64_t kVideoRunning = INT64_MIN;  // m_videoEndUs before the video ends
  static constexpr std::uint64_t kNoFailure = UINT64_MAX;   // m_failedTurn before a frame fails
  enum class EncodeOutcome { kEncoded, kNoRoomToWrite, kNotEncoded };

  CapturePipeline(const CaptureJob& job, MainLoop& loop);
  Result<> Open(int fd);
  Result<> OpenVideo();
  Result<> OpenAudio();
  void Launch();
  bool StopRequested() const { return m_stopUs != kNoStop; }
  void StopAt(std::int64_t stopUs, StopReason reason, const std::string& detail);
  void Fail(const DriverError& error);
  void NoteStopReason(StopReason reason, const std::string& detail);
  void NoteStopReasonLocked(StopReason reason, const std::string& detail);
  bool CountCaptured(const CapturedPacket& item);
  bool PastTheTimeLimit(std::int64_t captureUs);
  void EndIfTheVideoStaysGone();
  void NoteTrouble(const ReopeningSource& source);
  ReopenTimes Reopening() const;
  void ProducerDone();
  std::int64_t SlotOf(std::int64_t captureUs) const;

  // Worker threads.
  void ReadVideo();
  void ReadVideoPackets();
  void ReadAudio();
  void ReadAudioPackets();
  bool AudioCaughtUp(std::int64_t lastCaptureUs) const;
  void EncodeVideo(VideoEncoder& encoder);
  void HandOnInOrder(const CapturedPacket& item, EncodeOutcome outcome, std::vector<PacketPtr>& out);
  void EndVideo(VideoEncoder& encoder);
  void ConvertAudio();
  std::int64_t AudioEndUs() const;
  void ConvertAudioPacket(const CapturedPacket& item, std::int64_t endUs, std::vector<PacketPtr>& out);
  void FillAudioTo(std::int64_t endUs, std::vector<PacketPtr>& out);
  void Write();
  bool CutAudioAtSlot(AVPacket& packet, std::int64_t slot) const;
  bool PushAll(std::vector<PacketPtr>& packets, int stream);

  CaptureJob m_job;
  MainLoop& m_loop;
  std::int64_t m_startUs = 0;
  FrameSize m_imageSize;

  std::unique_ptr<ReopeningSource> m_videoSource;  // the readers' own once they run
  std::unique_ptr<ReopeningSource> m_audioSource;
  std::vector<std::unique_ptr<VideoEncoder>> m_videoEncoders;  // one per encoder worker
  std::unique_ptr<AudioConverter> m_audioConverter;
  std::unique_ptr<PreviewRenderer> m_preview;
  std::unique_ptr<AviWriter> m_writer;

  BoundedQueue<CapturedPacket> m_videoQueue{8};  // resized to the stream once it is open
  BoundedQueue<CapturedPacket> m_audioQueue{64};
  BoundedQueue<OutputPacket> m_writeQueue{48};
  std::atomic<int> m_producers{0};
  std::uint64_t m_videoQueued = 0;  // ReadVideo's own: frames it put in m_videoQueue
  OrderedTurns m_encodeTurns;
  std::atomic<std::uint64_t> m_failedTurn{kNoFailure};  // the earliest frame that failed to encode
  std::atomic<std::int64_t> m_lastWrittenSlot{-1};      // by the encoder worker whose turn it is
  std::atomic<int> m_encodersRunning{0};

  std::atomic<std::int64_t> m_stopUs{kNoStop};    // set once, under m_mutex
  std::atomic<std::int64_t> m_streamStartUs{-1};  // capture time of the first frame
  std::atomic<std::int64_t> m_videoEndUs{kVideoRunning};
  std::atomic<std::int64_t> m_videoReachedUs{INT64_MIN};  // the end of the last frame handed to the writer
  std::atomic<bool> m_finished{false};
  CaptureCounters m_counters;

  mutable std::mutex m_mutex;  // guards the members below
  std::optional<StopReason> m_reason;
  std::string m_detail;
  std::deque<FrameNotice> m_notices;
  std::int64_t m_lastCapturedUs = INT64_MIN;  // a stop never falls before it
  std::optional<DriverError> m_trouble;       // the first stall or failure of a device stream, by its reader

  std::vector<std::jthread> m_threads;  // last: joined before anything they use goes
};

}  // namespace tovalen::ffmpeg
