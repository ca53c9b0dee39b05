#pragma once

#include <atomic>
#include <cstdint>
#include <deque>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <thread>

#include "capture/ffmpeg/stream_device.h"
#include "capture/ffmpeg/stream_session.h"

namespace tovalen::testing {

// A stream session that replays a local file's packets as they come, each handed on when its
// time is due on the steady clock and timed on it, as a session on the network does. The file
// starts again at its end, its timestamps running on. After `goneAfterVideo` video packets the
// stream is gone for good: nothing more comes, as from a session that keeps connecting again.
// After `reconnectAfterVideo` video packets it connects again, losing the next `lostOnReconnect`
// video packets (and the sound beside them): it goes on in the middle of a group of pictures.
// Handed to a sink, a thread of its own takes the due packets to it.
class FileStreamSession : public ffmpeg::StreamSession {
 public:
  static std::shared_ptr<FileStreamSession> Open(const std::string& path);
  ~FileStreamSession() override { HandTo(nullptr); }

  const ffmpeg::StreamTrack* Video() const override { return m_video ? &m_video->track : nullptr; }
  const ffmpeg::StreamTrack* Audio() const override { return m_audio ? &m_audio->track : nullptr; }
  ffmpeg::ReadResult Read(AVMediaType type, AVPacket& packet) override;
  void HandTo(ffmpeg::StreamPacketSink* sink) override;
  // Leaves the picture's size out of its parameters, as a stream looked at too briefly does.
  void ForgetThePictureSize();
  std::uint32_t Reconnects() const override { return m_reconnects; }
  std::optional<ffmpeg::DriverError> FirstTrouble() const override;
  bool Gone() const override;

  std::optional<int> goneAfterVideo;
  std::optional<int> reconnectAfterVideo;
  int lostOnReconnect = 12;

 private:
  struct Track {
    int index = -1;
    AVRational fileTimeBase{1, 1};
    ffmpeg::StreamTrack track;
    std::deque<ffmpeg::PacketPtr> due;  // read from the file, in microseconds on the steady clock
    int handedOn = 0;
  };

  bool ReadFromFile();
  bool LoseAtReconnection();
  Track* TrackOf(AVMediaType type);

  mutable std::mutex m_mutex;
  ffmpeg::InputContextPtr m_input;
  std::optional<Track> m_video;
  std::optional<Track> m_audio;
  std::int64_t m_startUs = 0;       // steady clock at the file's first timestamp
  std::int64_t m_firstFileUs = 0;   // the file's first timestamp
  std::int64_t m_loopOffsetUs = 0;  // added after each time round
  std::int64_t m_lastUs = 0;        // the latest timestamp read
  bool m_gone = false;
  std::atomic<std::uint32_t> m_reconnects{0};
  std::int64_t m_lostBeforeUs = INT64_MIN;  // sound before this went with the connection
  std::jthread m_handing;                   // takes the due packets to the sink
};

// A stream device whose copy replays a file.
class ReplayedStreamDevice : public ffmpeg::StreamDevice {
 public:
  ReplayedStreamDevice(std::string source, std::optional<int> goneAfterVideo, std::optional<int> reconnectAfterVideo)
      : StreamDevice("Channel", "http://127.0.0.1:9/live.ts"),
        m_source(std::move(source)),
        m_goneAfterVideo(goneAfterVideo),
        m_reconnectAfterVideo(reconnectAfterVideo) {}
  ffmpeg::Result<std::shared_ptr<ffmpeg::StreamSession>> OpenForCopy(int input) const override;

  bool sizeUnknown = false;  // its sessions forget the picture's size

 private:
  std::string m_source;
  std::optional<int> m_goneAfterVideo;
  std::optional<int> m_reconnectAfterVideo;
};

// "<folder>/source.ts": 4 s of 320x240 H.264 at 25 frames per second and AAC sound, made with
// the ffmpeg program; empty when it could not be made.
std::string MakeH264AacSource(const std::string& folder);

}  // namespace tovalen::testing
