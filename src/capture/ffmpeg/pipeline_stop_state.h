#pragma once

#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <mutex>
#include <optional>

namespace tovalen::ffmpeg {

// What the workers of a CapturePipeline share about where the capture starts and how it ends,
// under one mutex. Each value is set once (the counts only go down); the steps of the end and who
// takes them are described at CapturePipeline. A step taken wakes every worker waiting for one.
class PipelineStopState {
 public:
  // Before the workers start.
  void ExpectWorkers(int encoderWorkers, int producers);

  // --- The first frame, set by the video reader ---
  void SetFirstFrame(std::int64_t captureUs);  // the first call only
  std::optional<std::int64_t> FirstFrameUs() const;

  // --- 1. The stop: the capture time after which nothing is recorded ---
  // Sets it unless it is set already, never before a frame admitted already.
  void StopAt(std::int64_t stopUs);
  std::optional<std::int64_t> StopUs() const;
  bool IsAfterStop(std::int64_t captureUs) const;
  // Counts a frame as captured unless it came after the stop; false then.
  bool Admit(std::int64_t captureUs);

  // --- The encoders, in turn order ---
  // The end of the last frame handed to the writer, set by the encoder worker whose turn it is.
  void SetVideoReached(std::int64_t endUs);
  std::optional<std::int64_t> VideoReachedUs() const;
  // The earliest frame (by turn) that failed to encode; none after it is handed on.
  void NoteFailedTurn(std::uint64_t turn);
  bool FailedBefore(std::uint64_t turn) const;
  bool AnyFailed() const;

  // --- 2. The video's end ---
  struct VideoEnd {
    std::optional<std::int64_t> lastFrameEndUs;  // nothing: no frame was handed to the writer
  };
  // An encoder worker's input is drained; the last one ends the video where it had reached.
  void EncoderWorkerDone();
  std::optional<VideoEnd> VideoEnded() const;
  std::optional<VideoEnd> WaitForVideoEnd(std::chrono::milliseconds timeout) const;

  // --- 3. The producers (encoder workers and the sound's converter) ---
  // True for the last one: it closes the writer's queue.
  bool ProducerDone();

  // --- 4. The file is finished ---
  void SetFinished();
  bool Finished() const;

  // For a reader whose device has nothing yet: waits the poll period, less when a step of the
  // end is taken meanwhile.
  void PollPause(std::chrono::milliseconds period) const;

 private:
  void StepTaken();  // with m_mutex held

  mutable std::mutex m_mutex;
  mutable std::condition_variable m_stepTaken;
  std::uint64_t m_steps = 0;

  std::optional<std::int64_t> m_firstFrameUs;
  std::optional<std::int64_t> m_stopUs;
  std::optional<std::int64_t> m_lastAdmittedUs;  // a stop never falls before it
  std::optional<std::int64_t> m_videoReachedUs;
  std::optional<std::uint64_t> m_failedTurn;
  int m_encoderWorkers = 0;
  std::optional<VideoEnd> m_videoEnd;
  int m_producers = 0;
  bool m_finished = false;
};

}  // namespace tovalen::ffmpeg
