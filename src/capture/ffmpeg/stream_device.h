#pragma once

#include <memory>
#include <mutex>
#include <string>

#include "capture/ffmpeg/capture_device.h"
#include "capture/ffmpeg/stream_session.h"

namespace tovalen::ffmpeg {

// A network stream the user named: its name is the device's name, its URL with the credentials
// masked the device's version. Its picture is decoded into raw frames, so that the device's codec
// settings apply as to any device; its own sound is its audio, whatever the sound card does. Both
// come from one StreamSession, kept while either is open.
class StreamDevice : public CaptureDevice {
 public:
  StreamDevice(std::string name, std::string url, StreamTimes times = {});

  const std::string& Url() const { return m_url; }

  std::string Name() const override { return m_name; }
  std::string Version() const override;
  std::string SettingsKey() const override;
  bool HasOverlay() const override { return false; }
  bool IsPresent() const override;

  std::vector<VideoFormatOffer> VideoFormats() const override;
  std::vector<std::string> Inputs() const override;
  std::vector<PictureControl> Controls() const override { return {}; }
  FrameSize DefaultSize() const override;

  bool ApplyControls(const DeviceSettings&) override { return true; }
  OpenedSource OpenVideo(const VideoRequest& request) override;
  OpenedSource OpenAudio(const AudioRequest& request) override;
  bool HasItsOwnSound() const override { return true; }
  // A session of its own that hands the stream's packets on as they come, for a copy of it; the
  // input chooses the transport as for the picture.
  virtual Result<std::shared_ptr<StreamSession>> OpenForCopy(int input) const;

 private:
  // The open session, or a new one.
  Result<std::shared_ptr<StreamSession>> Session(int input);

  std::string m_name;
  std::string m_url;
  StreamTimes m_times;
  mutable std::mutex m_mutex;  // guards the members below
  std::weak_ptr<StreamSession> m_session;
  FrameSize m_lastSize{640, 480};  // of the last session: what the stream sends
};

}  // namespace tovalen::ffmpeg
