#pragma once

#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "capture/capture_outcome.h"
#include "capture/ffmpeg/capture_pipeline.h"
#include "capture/stop_reason.h"

namespace tovalen::ffmpeg {

// What the driver asks of a capture sequence while it runs, whether it encodes a device's
// frames (CapturePipeline) or copies a stream's packets (StreamCopyRecording): the caller's
// thread collects the frame notices, asks for the stop and joins it with Finish.
class RunningCapture {
 public:
  virtual ~RunningCapture() = default;

  virtual std::vector<FrameNotice> TakeFrameNotices() = 0;
  virtual void RequestStop(StopReason reason, const std::string& detail = {}) = 0;
  virtual bool Finished() const = 0;
  virtual CaptureOutcome Finish() = 0;
  // A stream that never came back: what it recorded goes to the target all the same.
  virtual bool LostAtTheEnd() const = 0;
  virtual CaptureOutcome Progress() const = 0;
  virtual FrameSize ImageSize() const = 0;
  virtual void SetPreviewWindowSize(FrameSize window) = 0;
};

// The capture pipeline as a running capture.
class PipelineCapture final : public RunningCapture {
 public:
  explicit PipelineCapture(std::unique_ptr<CapturePipeline> pipeline) : m_pipeline(std::move(pipeline)) {}

  std::vector<FrameNotice> TakeFrameNotices() override { return m_pipeline->TakeFrameNotices(); }
  void RequestStop(StopReason reason, const std::string& detail = {}) override {
    m_pipeline->RequestStop(reason, detail);
  }
  bool Finished() const override { return m_pipeline->Finished(); }
  CaptureOutcome Finish() override { return m_pipeline->Finish(); }
  bool LostAtTheEnd() const override { return m_pipeline->LostAtTheEnd(); }
  CaptureOutcome Progress() const override { return m_pipeline->Progress(); }
  FrameSize ImageSize() const override { return m_pipeline->ImageSize(); }
  void SetPreviewWindowSize(FrameSize window) override { m_pipeline->SetPreviewWindowSize(window); }

 private:
  std::unique_ptr<CapturePipeline> m_pipeline;
};

}  // namespace tovalen::ffmpeg
