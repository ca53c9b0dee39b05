#include "capture/ffmpeg/avi_read_back.h"

#include <sys/stat.h>
#include <unistd.h>

#include <optional>
#include <vector>

#include "capture/ffmpeg/ffmpeg_handles.h"
#include "capture/ffmpeg/leftover_streams.h"
#include "platform/posix_file.h"

namespace tovalen::ffmpeg {
namespace {

constexpr int kIoBufferBytes = 64 * 1024;
constexpr std::int64_t kProbeBytes = 64 * 1024;

struct FileCursor {
  int fd = -1;
  std::int64_t position = 0;
  std::int64_t size = 0;
};

int ReadPacket(void* opaque, std::uint8_t* buffer, int size) {
  auto* cursor = static_cast<FileCursor*>(opaque);
  const ssize_t n = RetryOnInterrupt([&] {
    return ::pread(cursor->fd, buffer, static_cast<std::size_t>(size), static_cast<off_t>(cursor->position));
  });
  if (n < 0) return AVERROR(errno);
  if (n == 0) return AVERROR_EOF;
  cursor->position += n;
  return static_cast<int>(n);
}

std::int64_t Seek(void* opaque, std::int64_t offset, int whence) {
  auto* cursor = static_cast<FileCursor*>(opaque);
  switch (whence & ~AVSEEK_FORCE) {
    case AVSEEK_SIZE:
      return cursor->size;
    case SEEK_SET:
      break;
    case SEEK_CUR:
      offset += cursor->position;
      break;
    case SEEK_END:
      offset += cursor->size;
      break;
    default:
      return AVERROR(EINVAL);
  }
  if (offset < 0) return AVERROR(EINVAL);
  cursor->position = offset;
  return offset;
}

}  // namespace

Result<ReadBack> ReadBackAvi(int fd) {
  ReadBack result;
  struct stat info {};
  if (::fstat(fd, &info) != 0) return DriverError{.detail = "cannot read the file", .errorNumber = errno};
  FileCursor cursor{fd, 0, static_cast<std::int64_t>(info.st_size)};
  auto* buffer = static_cast<std::uint8_t*>(av_malloc(kIoBufferBytes));
  if (!buffer) throw std::bad_alloc();
  const IoContextPtr io(avio_alloc_context(buffer, kIoBufferBytes, 0, &cursor, &ReadPacket, nullptr, &Seek));
  if (!io) {
    av_free(buffer);
    throw std::bad_alloc();
  }
  AVFormatContext* raw = avformat_alloc_context();
  if (!raw) throw std::bad_alloc();
  raw->pb = io.get();
  raw->flags |= AVFMT_FLAG_CUSTOM_IO;
  raw->probesize = kProbeBytes;
  raw->max_analyze_duration = 0;
  Options options;
  options.Set("protocol_whitelist", "file");
  if (const int rc = avformat_open_input(&raw, nullptr, av_find_input_format("avi"), options.Address()); rc < 0)
    return DriverError{.detail = AvErrorText(rc)};  // avformat_open_input freed the context
  const InputContextPtr input(raw);
  const std::int64_t mostPixels = MostPixelsFor(static_cast<std::uint64_t>(cursor.size));
  std::vector<std::optional<FrameCheck>> checks(input->nb_streams);
  for (unsigned i = 0; i < input->nb_streams; ++i) {
    if (input->streams[i]->codecpar->codec_type == AVMEDIA_TYPE_VIDEO)
      checks[i] = FrameCheck::Open(*input->streams[i]->codecpar, mostPixels);
  }
  const PacketPtr packet = MakePacket();
  while (av_read_frame(input.get(), packet.get()) >= 0) {
    const auto index = static_cast<unsigned>(packet->stream_index);
    const AVCodecParameters& stream = *input->streams[index]->codecpar;
    if (stream.codec_type == AVMEDIA_TYPE_AUDIO) result.audioBytes += packet->size;
    if (stream.codec_type == AVMEDIA_TYPE_VIDEO && packet->size > 0) {
      ++result.frames;
      bool key = false;
      if (!checks[index] || !checks[index]->Decodes(packet->data, static_cast<std::size_t>(packet->size), key))
        ++result.decodeErrors;
    }
    av_packet_unref(packet.get());
  }
  return result;
}

}  // namespace tovalen::ffmpeg
