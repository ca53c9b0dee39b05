#pragma once

#include <cstdint>
#include <memory>
#include <vector>

#include "capture/ffmpeg/avi_writer.h"
#include "capture/ffmpeg/driver_result.h"
#include "capture/ffmpeg/ffmpeg_handles.h"
#include "capture/ffmpeg/stream_session.h"

extern "C" {
#include <libavcodec/bsf.h>
}

namespace tovalen::ffmpeg {

// A packet of a copied stream, its timestamps in microseconds from the recording's start.
struct CopiedPacket {
  PacketPtr packet;
  bool video = false;
};

struct BitstreamFilterDeleter {
  void operator()(AVBSFContext* context) const { av_bsf_free(&context); }
};
using BitstreamFilterPtr = std::unique_ptr<AVBSFContext, BitstreamFilterDeleter>;

// Writes a stream's packets into a container on one thread, as they come. The file is started
// once the headers of its streams are known: at the first video packet, and when there is
// sound, once its first packet has come (or after a while without one). AAC sound in ADTS
// frames, as MPEG-TS carries it, loses its frame headers for Matroska and MP4, whose headers
// then carry what they said.
class StreamCopyWriter {
 public:
  StreamCopyWriter(int fd, const ContainerFormat& container, const StreamTrack& video, const StreamTrack* audio);
  ~StreamCopyWriter();
  StreamCopyWriter(const StreamCopyWriter&) = delete;
  StreamCopyWriter& operator=(const StreamCopyWriter&) = delete;

  // Makes ready what the container needs of the streams; fails when a filter cannot be made.
  Result<> Prepare();
  // Takes the packet; fails when the file cannot take it.
  Result<> Write(CopiedPacket item);
  // Whether the file can still grow by what its end needs (see AviWriter::CheckRoom).
  Result<> CheckRoom(const SpaceProbe& probe) const;
  // Writes what is held and the trailer, cuts the file to its end and flushes it to disk.
  Result<> Finish();

  std::uint64_t Bytes() const { return m_file ? m_file->Bytes() : 0; }
  // Video packets in the file so far.
  std::uint32_t VideoWritten() const { return m_videoWritten; }
  std::uint64_t AudioSamplesWritten() const { return m_audioSamplesWritten; }

 private:
  Result<> Filter(CopiedPacket& item, std::vector<CopiedPacket>& out);
  bool ReadyToStart() const;
  void TakeThePictureSizeFromTheFirstFrame();
  Result<> StartFile();
  Result<> WriteToFile(CopiedPacket& item);
  std::uint64_t SamplesIn(const AVPacket& packet) const;

  int m_fd;
  ContainerFormat m_container;
  CodecParametersPtr m_video;
  CodecParametersPtr m_audio;  // null without sound
  BitstreamFilterPtr m_audioFilter;
  bool m_audioKnown = false;  // its parameters are complete
  std::vector<CopiedPacket> m_held;
  std::unique_ptr<AviWriter> m_file;
  std::uint32_t m_videoWritten = 0;
  std::uint64_t m_audioSamplesWritten = 0;
};

}  // namespace tovalen::ffmpeg
