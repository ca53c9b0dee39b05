#pragma once

#include <chrono>
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>

#include "capture/ffmpeg/driver_result.h"
#include "capture/ffmpeg/ffmpeg_handles.h"
#include "capture/stop_reason.h"

namespace tovalen::ffmpeg {

// How much more the capture file may grow: free space on its disk and, when the process has a
// file-size limit, what the limit leaves.
struct SpaceReport {
  std::uint64_t diskFreeBytes = 0;
  std::optional<std::uint64_t> fileLimitBytes;  // the limit itself, not what is left of it
};
using SpaceProbe = std::function<std::optional<SpaceReport>(int fd)>;

// fstatvfs on the file and the RLIMIT_FSIZE soft limit; nothing when fstatvfs fails.
std::optional<SpaceReport> ProbeSpace(int fd);

// The container a writer makes: libavformat's muxer, its options ("key=value:key=value") and
// its name for messages.
struct ContainerFormat {
  const char* muxer = "avi";
  const char* options = "";
  const char* name = "AVI";
  // A killed AVI recording is rebuilt from whole packets: each is written out as it comes. A
  // copy's file is written out once a second instead, which a copy's CPU shows.
  bool flushEachPacket = true;
};

struct StreamSetup {
  const AVCodecParameters* parameters = nullptr;
  AVRational timeBase{1, 1};  // of the packets handed to Write
};

// An AVI file (or, for a copied stream, another container) written by libavformat into a
// descriptor it does not own, on one thread.
// Data reaches the file at least once a second, so a process that is killed leaves a file that
// can be read up to shortly before; the index is written by Finish.
class AviWriter {
 public:
  // The writer with its header written. Memory running out throws std::bad_alloc here and in
  // Write, as everywhere in the driver: the capture sequence turns it into a failure.
  static Result<std::unique_ptr<AviWriter>> Open(int fd, const StreamSetup& video, const StreamSetup* audio,
                                                 const ContainerFormat& format = {});
  ~AviWriter();
  AviWriter(const AviWriter&) = delete;
  AviWriter& operator=(const AviWriter&) = delete;

  int VideoStream() const { return 0; }
  int AudioStream() const { return 1; }

  // Writes a packet of a stream; fails when the file cannot take it.
  Result<> Write(AVPacket& packet, int stream);
  // Whether the file can still grow by what the index and trailer will need; fails with a full
  // disk or the size limit when it cannot.
  Result<> CheckRoom(const SpaceProbe& probe) const;
  // Writes the index and trailer, cuts the file to what was written and flushes it to disk.
  Result<> Finish();

  std::uint64_t Bytes() const { return m_end; }

 private:
  AviWriter(int fd);
  static int WritePacket(void* opaque, std::uint8_t* buffer, int size);
  static std::int64_t Seek(void* opaque, std::int64_t offset, int whence);
  Result<> IoResult(int rc, const std::string& what) const;

  int m_fd;
  std::uint64_t m_position = 0;
  std::uint64_t m_end = 0;
  int m_writeErrno = 0;
  std::uint64_t m_packets = 0;
  AVRational m_packetTimeBase[2]{{1, 1}, {1, 1}};
  std::chrono::steady_clock::time_point m_lastFlush;
  IoContextPtr m_io;
  OutputContextPtr m_output;
};

}  // namespace tovalen::ffmpeg
