#pragma once

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
#include "capture/capture_outcome.h"
#include "capture/ffmpeg/audio_converter.h"
#include "capture/ffmpeg/avi_writer.h"
#include "capture/ffmpeg/bounded_queue.h"
#include "capture/ffmpeg/capture_device.h"
#include "capture/ffmpeg/driver_result.h"
#include "capture/ffmpeg/ordered_turns.h"
#include "capture/ffmpeg/pipeline_stop_state.h"
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
  bool audioAsTheDeviceSends = false;      // the audio track takes the device's own rate and channels
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

// A capture wakes the caller's thread for its frame notices at most this often: each wake-up
// costs more than the notices it carries, and the thread's own looks take those between.
inline constexpr std::int64_t kNoticeWakeIntervalUs = 250'000;

// A running capture: reader threads for the video and the sound, video encoders, an audio
// converter and a writer, joined by bounded queues. Readers never wait: a frame the encoders
// have no room for is dropped and counted, and so is one the writer has no room for, before it
// is encoded. Where each frame is compressed on its own (JPEG), two encoder workers take the
// frames as they come free, so a second core keeps up when one falls behind; each hands its
// frames to m_writeQueue in m_videoQueue's order, waiting its turn (m_encodeTurns). The
// caller's thread collects the frame notices and asks for the stop; the workers wake it through
// the main loop. The readers open a device that stalls or fails again (ReopeningSource) and read
// on; frames keep their capture times, so the time without frames stays a gap in the file. While
// a device has nothing, its reader pauses for the poll period or until a step below is taken.
// The sound is converted only as far as the video handed to the writer has come (the stop
// state's VideoReachedUs), so that it never outlasts the video, however the capture ends. The
// converter and the writer take their queues in batches (BoundedQueue::PopPatiently): neither is
// in a hurry, and waking for each packet cost more than the work.
//
// How it ends. The steps are kept in m_stop (PipelineStopState), each taken once; each worker
// closes what it feeds when its own input has ended, so the end runs down the chain and every
// worker ends:
// 1. The stop, the capture time after which nothing is recorded: set by StopAt with the reason.
//    It comes from the caller's thread (CaptureStop, abort input, the destructor), from ReadVideo
//    at the time limit or when it gives up on a device that stays gone, or from any worker that
//    fails (Fail). It never falls before a frame already admitted as captured. ReadVideo reads on
//    until a frame from after it, two frame periods with nothing, a stall period, or the device
//    closed, then closes m_videoQueue. ConvertAudio cuts the sound one frame after it while the
//    video has not ended.
// 2. The video's end: each EncodeVideo worker counts itself done when m_videoQueue is drained
//    (a single worker flushes its encoder first); the last one ends the video at the end of the
//    last frame handed to the writer, or with none. ReadAudio, after the stop, reads until its
//    sound reaches it (or for audioTail at most), then closes m_audioQueue (at once when its
//    input is gone); ConvertAudio waits for it, cuts the sound there, and fills it with silence
//    up to there when it ended early.
// 3. The producers: each EncodeVideo worker and ConvertAudio count themselves done when their
//    input is drained; the last closes m_writeQueue.
// 4. Finished: set by Write when m_writeQueue is drained and the file is finished (index, cut,
//    flushed); it wakes the caller's thread, which then joins the workers in Finish.
// A worker that fails stops the capture through Fail and goes on taking its input without
// using it, so no worker before it waits; an encoder worker still takes every turn it popped,
// and once a frame has failed (the stop state's failed turn) the frames after it in order are
// dropped. Out of room, Write still takes the sound up to the last frame it wrote, and nothing
// more. The first frame's time (set by ReadVideo) and the video's reach (set by the encoder
// worker whose turn it is) end nothing by themselves.
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
  bool Finished() const { return m_stop.Finished(); }
  // Joins the workers. How the capture went; the caller adds where the recording is.
  CaptureOutcome Finish();

  // The counts so far.
  CaptureOutcome Progress() const;
  FrameSize ImageSize() const { return m_imageSize; }
  // A device that connects again by itself (a network stream) was still gone at the end: the
  // capture failed, though what it recorded before is whole.
  bool LostAtTheEnd() const;
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

  enum class EncodeOutcome { kEncoded, kNoRoomToWrite, kNotEncoded };

  CapturePipeline(const CaptureJob& job, MainLoop& loop);
  Result<> Open(int fd);
  Result<> OpenVideo();
  Result<> OpenAudio();
  void Launch();
  bool StopRequested() const { return m_stop.StopUs().has_value(); }
  void StopAt(std::int64_t stopUs, StopReason reason, const std::string& detail);
  void Fail(const DriverError& error);
  void NoteStopReason(StopReason reason, const std::string& detail);
  void NoteStopReasonLocked(StopReason reason, const std::string& detail);
  void Count(std::uint32_t CaptureOutcome::*counter, std::uint32_t count = 1);
  void CountAudioSamples(std::uint64_t samples);
  std::uint32_t ElapsedMs() const;
  bool CountCaptured(const CapturedPacket& item);
  bool PastTheTimeLimit(std::int64_t captureUs);
  void EndIfTheVideoStaysGone();
  void NoteTrouble(const ReopeningSource& source);
  void NoteReconnects(const ReopeningSource& source);
  bool VideoGone() const;
  ReopenTimes Reopening() const;
  void ProducerDone();
  std::int64_t SlotOf(std::int64_t captureUs) const;
  std::int64_t SlotEndUs(std::int64_t slot) const;

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
  std::uint64_t m_videoQueued = 0;               // ReadVideo's own: frames it put in m_videoQueue
  std::int64_t m_noticesToldUs = INT64_MIN / 2;  // ReadVideo's own: when it last woke the loop for notices
  OrderedTurns m_encodeTurns;
  PipelineStopState m_stop;

  mutable std::mutex m_mutex;  // guards the members below
  std::optional<StopReason> m_reason;
  CaptureOutcome m_outcome;  // so far: the counts and the detail of m_reason
  std::deque<FrameNotice> m_notices;
  std::optional<DriverError> m_trouble;  // the first stall or failure of a device stream, by its reader
  bool m_lostAtTheEnd = false;

  std::vector<std::jthread> m_threads;  // last: joined before anything they use goes
};

}  // namespace tovalen::ffmpeg
