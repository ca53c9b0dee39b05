#include "capture/ffmpeg/avi_writer.h"

#include <sys/resource.h>
#include <sys/statvfs.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>

#include "platform/posix_file.h"

namespace tovalen::ffmpeg {
namespace {

constexpr int kIoBufferBytes = 256 * 1024;
constexpr auto kFlushInterval = std::chrono::seconds(1);
// What the end of the file needs besides the index entries: trailer, headers rewritten in place.
constexpr std::uint64_t kTrailerReserveBytes = 1 << 20;
// An index entry per packet (idx1), with room for the OpenDML index as well.
constexpr std::uint64_t kIndexBytesPerPacket = 32;

}  // namespace

std::optional<SpaceReport> ProbeSpace(int fd) {
  struct statvfs disk {};
  if (::fstatvfs(fd, &disk) != 0) return std::nullopt;
  SpaceReport report;
  report.diskFreeBytes = static_cast<std::uint64_t>(disk.f_bavail) * disk.f_frsize;
  rlimit limit{};
  if (::getrlimit(RLIMIT_FSIZE, &limit) == 0 && limit.rlim_cur != RLIM_INFINITY) report.fileLimitBytes = limit.rlim_cur;
  return report;
}

AviWriter::AviWriter(int fd) : m_fd(fd), m_lastFlush(std::chrono::steady_clock::now()) {}

AviWriter::~AviWriter() = default;

Result<std::unique_ptr<AviWriter>> AviWriter::Open(int fd, const StreamSetup& video, const StreamSetup* audio,
                                                   const ContainerFormat& format) {
  std::unique_ptr<AviWriter> writer(new AviWriter(fd));
  auto* buffer = static_cast<std::uint8_t*>(av_malloc(kIoBufferBytes));
  if (!buffer) throw std::bad_alloc();
  writer->m_io.reset(
      avio_alloc_context(buffer, kIoBufferBytes, 1, writer.get(), nullptr, &AviWriter::WritePacket, &AviWriter::Seek));
  if (!writer->m_io) {
    av_free(buffer);
    throw std::bad_alloc();
  }
  AVFormatContext* output = nullptr;
  if (const int rc = avformat_alloc_output_context2(&output, nullptr, format.muxer, nullptr); rc < 0)
    return AvFailure(StopReason::kWriteFailed, std::string("no ") + format.name + " muxer", rc);
  writer->m_output.reset(output);
  output->pb = writer->m_io.get();
  output->flags |= AVFMT_FLAG_CUSTOM_IO;
  if (!format.flushEachPacket) output->flush_packets = 0;  // Write flushes once a second

  int index = 0;
  for (const StreamSetup* setup : {&video, audio}) {
    if (!setup) continue;
    AVStream* stream = avformat_new_stream(output, nullptr);
    if (!stream || avcodec_parameters_copy(stream->codecpar, setup->parameters) < 0) throw std::bad_alloc();
    stream->codecpar->codec_tag = 0;  // the muxer picks its own tag
    stream->time_base = setup->timeBase;
    writer->m_packetTimeBase[index++] = setup->timeBase;
  }
  Options options;
  if (*format.options) av_dict_parse_string(options.Address(), format.options, "=", ":", 0);
  const Result<> header = writer->IoResult(avformat_write_header(output, options.Address()),
                                           std::string("cannot start the ") + format.name + " file");
  if (!header) return header.Error();
  return writer;
}

int AviWriter::WritePacket(void* opaque, std::uint8_t* buffer, int size) {
  auto* self = static_cast<AviWriter*>(opaque);
  const auto done = static_cast<std::size_t>(size);
  if (!WriteAllAt(self->m_fd, buffer, done, static_cast<off_t>(self->m_position))) {
    self->m_writeErrno = errno;
    return AVERROR(self->m_writeErrno);
  }
  self->m_position += done;
  self->m_end = std::max(self->m_end, self->m_position);
  return size;
}

std::int64_t AviWriter::Seek(void* opaque, std::int64_t offset, int whence) {
  auto* self = static_cast<AviWriter*>(opaque);
  switch (whence & ~AVSEEK_FORCE) {
    case AVSEEK_SIZE:
      return static_cast<std::int64_t>(self->m_end);
    case SEEK_SET:
      break;
    case SEEK_CUR:
      offset += static_cast<std::int64_t>(self->m_position);
      break;
    case SEEK_END:
      offset += static_cast<std::int64_t>(self->m_end);
      break;
    default:
      return AVERROR(EINVAL);
  }
  if (offset < 0) return AVERROR(EINVAL);
  self->m_position = static_cast<std::uint64_t>(offset);
  return offset;
}

Result<> AviWriter::IoResult(int rc, const std::string& what) const {
  if (rc >= 0) return {};
  // The system's own error when a write failed: it tells a full disk from the size limit.
  if (m_writeErrno != 0) return SystemFailure(ReasonForWriteError(m_writeErrno), what, m_writeErrno);
  return AvFailure(StopReason::kWriteFailed, what, rc);
}

Result<> AviWriter::Write(AVPacket& packet, int stream) {
  packet.stream_index = stream;
  av_packet_rescale_ts(&packet, m_packetTimeBase[stream], m_output->streams[stream]->time_base);
  int rc = av_interleaved_write_frame(m_output.get(), &packet);
  ++m_packets;
  const auto now = std::chrono::steady_clock::now();
  if (rc >= 0 && now - m_lastFlush >= kFlushInterval) {
    avio_flush(m_io.get());
    rc = m_io->error;
    m_lastFlush = now;
  }
  return IoResult(rc, "writing a packet");
}

Result<> AviWriter::CheckRoom(const SpaceProbe& probe) const {
  const auto report = probe(m_fd);
  if (!report) return {};  // cannot tell: the writes themselves will say
  const std::uint64_t needed = kTrailerReserveBytes + kIndexBytesPerPacket * (m_packets + 64);
  const auto shortOf = [needed](StopReason reason, const char* what, std::uint64_t left) {
    return DriverError{
        reason, std::string(what) + " " + std::to_string(left) + " bytes, the index needs " + std::to_string(needed)};
  };
  if (report->diskFreeBytes < needed) return shortOf(StopReason::kDiskFull, "the disk has", report->diskFreeBytes);
  if (report->fileLimitBytes && m_end + needed > *report->fileLimitBytes)
    return shortOf(StopReason::kFileSizeLimit, "the file-size limit leaves",
                   *report->fileLimitBytes - std::min(m_end, *report->fileLimitBytes));
  return {};
}

Result<> AviWriter::Finish() {
  int rc = av_write_trailer(m_output.get());
  if (rc >= 0) {
    avio_flush(m_io.get());
    rc = m_io->error;
  }
  Result<> finished = IoResult(rc, "finishing the file");
  // Cut off the reservation past the end (and any bytes of a longer earlier file), keep the
  // rest on disk before the file is moved into place.
  if (::ftruncate(m_fd, static_cast<off_t>(m_end)) != 0 && finished) {
    const int error = errno;
    finished = SystemFailure(StopReason::kWriteFailed, "cutting the file to its end", error);
  }
  if (::fdatasync(m_fd) != 0 && finished) {
    const int error = errno;
    finished = SystemFailure(ReasonForWriteError(error), "flushing the file to disk", error);
  }
  return finished;
}

}  // namespace tovalen::ffmpeg
