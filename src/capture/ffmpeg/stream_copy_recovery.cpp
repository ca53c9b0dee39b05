#include "capture/ffmpeg/stream_copy_recovery.h"

#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <new>
#include <optional>
#include <string_view>

#include "capture/ffmpeg/ffmpeg_handles.h"
#include "capture/ffmpeg/recovery_scratch.h"
#include "platform/posix_file.h"
#include "platform/system_error_text.h"

namespace tovalen::ffmpeg {
namespace {

constexpr int kIoBufferBytes = 64 * 1024;

// libavformat's reader of the container each writer makes.
const char* DemuxerOf(const ContainerFormat& container) {
  const std::string_view muxer = container.muxer;
  if (muxer == "mp4") return "mov";
  return container.muxer;  // "mpegts", "matroska"
}

// A file opened through its descriptor with one demuxer: nothing the file names is opened.
class DescriptorInput {
 public:
  static Result<std::unique_ptr<DescriptorInput>> Open(int fd, const char* demuxer);
  AVFormatContext& Context() { return *m_input; }

 private:
  static int ReadPacket(void* opaque, std::uint8_t* buffer, int size);
  static std::int64_t Seek(void* opaque, std::int64_t offset, int whence);

  int m_fd = -1;
  std::int64_t m_position = 0;
  std::int64_t m_size = 0;
  IoContextPtr m_io;
  InputContextPtr m_input;  // after m_io: closed before it
};

Result<std::unique_ptr<DescriptorInput>> DescriptorInput::Open(int fd, const char* demuxer) {
  struct stat info {};
  if (::fstat(fd, &info) != 0) return DriverError{.detail = SystemErrorText(errno), .errorNumber = errno};
  std::unique_ptr<DescriptorInput> input(new DescriptorInput);
  input->m_fd = fd;
  input->m_size = info.st_size;
  auto* buffer = static_cast<std::uint8_t*>(av_malloc(kIoBufferBytes));
  if (!buffer) throw std::bad_alloc();
  input->m_io.reset(avio_alloc_context(buffer, kIoBufferBytes, 0, input.get(), &ReadPacket, nullptr, &Seek));
  if (!input->m_io) {
    av_free(buffer);
    throw std::bad_alloc();
  }
  AVFormatContext* raw = avformat_alloc_context();
  if (!raw) throw std::bad_alloc();
  raw->pb = input->m_io.get();
  raw->flags |= AVFMT_FLAG_CUSTOM_IO;
  Options options;
  options.Set("protocol_whitelist", "file");
  if (const int rc = avformat_open_input(&raw, nullptr, av_find_input_format(demuxer), options.Address()); rc < 0)
    return DriverError{.detail = "it does not open: " + AvErrorText(rc)};  // the context is freed
  input->m_input.reset(raw);
  if (const int rc = avformat_find_stream_info(raw, nullptr); rc < 0)
    return DriverError{.detail = "its streams cannot be read: " + AvErrorText(rc)};
  return input;
}

int DescriptorInput::ReadPacket(void* opaque, std::uint8_t* buffer, int size) {
  auto* self = static_cast<DescriptorInput*>(opaque);
  const ssize_t n = RetryOnInterrupt([&] {
    return ::pread(self->m_fd, buffer, static_cast<std::size_t>(size), static_cast<off_t>(self->m_position));
  });
  if (n < 0) return AVERROR(errno);
  if (n == 0) return AVERROR_EOF;
  self->m_position += n;
  return static_cast<int>(n);
}

std::int64_t DescriptorInput::Seek(void* opaque, std::int64_t offset, int whence) {
  auto* self = static_cast<DescriptorInput*>(opaque);
  switch (whence & ~AVSEEK_FORCE) {
    case AVSEEK_SIZE:
      return self->m_size;
    case SEEK_SET:
      break;
    case SEEK_CUR:
      offset += self->m_position;
      break;
    case SEEK_END:
      offset += self->m_size;
      break;
    default:
      return AVERROR(EINVAL);
  }
  if (offset < 0) return AVERROR(EINVAL);
  self->m_position = offset;
  return offset;
}

// What a file holds of its picture and sound, packet by packet.
struct PacketCounts {
  std::int64_t video = 0;
  std::int64_t audio = 0;
  double seconds = 0;  // the picture's length
  std::string unread;  // why reading stopped before the end; empty when it reached it
};

struct ChosenStreams {
  int video = -1;
  int audio = -1;
};

ChosenStreams ChooseStreams(AVFormatContext& input) {
  return {av_find_best_stream(&input, AVMEDIA_TYPE_VIDEO, -1, -1, nullptr, 0),
          av_find_best_stream(&input, AVMEDIA_TYPE_AUDIO, -1, -1, nullptr, 0)};
}

// Reads every packet of the chosen streams, handing each to `take` (which may be empty).
template <typename Take>
PacketCounts ReadPackets(AVFormatContext& input, ChosenStreams chosen, Take&& take) {
  PacketCounts counts;
  PacketPtr packet = MakePacket();
  std::optional<std::int64_t> firstUs;
  std::int64_t endUs = 0;
  for (;;) {
    const int rc = av_read_frame(&input, packet.get());
    if (rc == AVERROR_EOF) break;
    if (rc < 0) {
      counts.unread = AvErrorText(rc);
      break;
    }
    const bool video = packet->stream_index == chosen.video;
    if (video || packet->stream_index == chosen.audio) {
      if (video) {
        ++counts.video;
        const AVRational timeBase = input.streams[chosen.video]->time_base;
        const std::int64_t time = packet->pts != AV_NOPTS_VALUE ? packet->pts : packet->dts;
        if (time != AV_NOPTS_VALUE) {
          const std::int64_t us = av_rescale_q(time, timeBase, {1, 1'000'000});
          if (!firstUs) firstUs = us;
          endUs = std::max(endUs, us + av_rescale_q(packet->duration, timeBase, {1, 1'000'000}));
        }
      } else {
        ++counts.audio;
      }
      if (auto taken = take(*packet, video); !taken) {
        counts.unread = taken.Error().detail;
        break;
      }
    }
    av_packet_unref(packet.get());
  }
  if (firstUs) counts.seconds = static_cast<double>(endUs - *firstUs) / 1e6;
  return counts;
}

LeftoverReport Failed(LeftoverReport report, const std::string& detail) {
  report.result = LeftoverReport::Result::kFailed;
  report.detail = detail;
  return report;
}

LeftoverReport Counted(LeftoverReport report, const PacketCounts& counts) {
  report.frames = counts.video;
  report.seconds = counts.seconds;
  return report;
}

// An MPEG-TS reads without an end: it takes the target's name as it is.
LeftoverReport PlaceAsItIs(int fd, LeftoverReport report, const std::string& target, const PacketCounts& counts) {
  if (::fdatasync(fd) != 0) return Failed(report, DescribeSystemError("cannot flush it to disk", errno));
  const auto placed = RenameToFreeName(report.leftover, target);
  if (!placed) return Failed(report, placed.Error().detail);
  report.recovered = *placed;
  SyncFolderOf(report.recovered);
  SyncFolderOf(report.leftover);
  report.result = LeftoverReport::Result::kRecovered;
  return Counted(report, counts);
}

// Copies the leftover's packets into the scratch file; what was copied.
Result<PacketCounts> CopyPackets(AVFormatContext& input, ChosenStreams chosen, int out,
                                 const ContainerFormat& container) {
  const StreamSetup video{chosen.video >= 0 ? input.streams[chosen.video]->codecpar : nullptr,
                          chosen.video >= 0 ? input.streams[chosen.video]->time_base : AVRational{1, 1}};
  const StreamSetup audio{chosen.audio >= 0 ? input.streams[chosen.audio]->codecpar : nullptr,
                          chosen.audio >= 0 ? input.streams[chosen.audio]->time_base : AVRational{1, 1}};
  // The rebuilt file is written whole, so it needs no fragments.
  const ContainerFormat whole{container.muxer, "", container.name};
  auto writer = AviWriter::Open(out, video, audio.parameters ? &audio : nullptr, whole);
  if (!writer) return writer.Error();
  std::optional<DriverError> writeError;
  const PacketCounts counts = ReadPackets(input, chosen, [&](AVPacket& packet, bool isVideo) {
    Result<> written = (*writer)->Write(packet, isVideo ? (*writer)->VideoStream() : (*writer)->AudioStream());
    if (!written) writeError = written.Error();
    return written;
  });
  if (writeError) return *writeError;
  if (auto finished = (*writer)->Finish(); !finished) return finished.Error();
  return counts;
}

}  // namespace

LeftoverReport RecoverCopy(int leftoverFd, LeftoverReport report, const std::string& target,
                           const ContainerFormat& container) {
  auto input = DescriptorInput::Open(leftoverFd, DemuxerOf(container));
  if (!input) return Failed(report, input.Error().detail);
  const ChosenStreams chosen = ChooseStreams((*input)->Context());
  if (chosen.video < 0 && chosen.audio < 0) {
    report.result = LeftoverReport::Result::kNoFrame;
    return report;
  }
  if (std::string_view(container.muxer) == "mpegts") {
    const PacketCounts counts = ReadPackets((*input)->Context(), chosen, [](AVPacket&, bool) { return Result<>(); });
    if (counts.video == 0 && counts.audio == 0) {
      report.result = LeftoverReport::Result::kNoFrame;
      return report;
    }
    return PlaceAsItIs(leftoverFd, std::move(report), target, counts);
  }
  if (chosen.video < 0 || (*input)->Context().streams[chosen.video]->codecpar->codec_id == AV_CODEC_ID_NONE)
    return Failed(report, "its picture cannot be read");

  RecoveryScratch::RemoveStale(target);
  auto scratch = RecoveryScratch::Create(target);
  if (!scratch) return Failed(report, scratch.Error().detail);
  const auto copied = CopyPackets((*input)->Context(), chosen, scratch->Fd(), container);
  if (!copied) return Failed(report, copied.Error().detail);
  if (copied->video == 0 && copied->audio == 0) {
    report.result = LeftoverReport::Result::kNoFrame;
    return report;
  }
  // Read back: the new file must hold every packet that was copied.
  auto back = DescriptorInput::Open(scratch->Fd(), DemuxerOf(container));
  if (!back) return Failed(report, "the rebuilt file does not read back: " + back.Error().detail);
  const PacketCounts read =
      ReadPackets((*back)->Context(), ChooseStreams((*back)->Context()), [](AVPacket&, bool) { return Result<>(); });
  if (read.video != copied->video || read.audio != copied->audio || !read.unread.empty()) {
    return Failed(report, "the rebuilt file does not read back: " + std::to_string(read.video) + " frames and " +
                              std::to_string(read.audio) + " sound packets read, not " + std::to_string(copied->video) +
                              " and " + std::to_string(copied->audio));
  }
  const auto placed = scratch->Place();
  if (!placed) return Failed(report, placed.Error().detail);
  report.recovered = *placed;
  report = Counted(std::move(report), *copied);
  if (!copied->unread.empty()) {
    report.result = LeftoverReport::Result::kPartial;
    report.detail = "reading stopped before its end: " + copied->unread;
    return report;
  }
  if (::unlink(report.leftover.c_str()) != 0)
    return Failed(report, DescribeSystemError("rebuilt as " + report.recovered + ", but cannot be removed", errno));
  SyncFolderOf(report.leftover);
  report.result = LeftoverReport::Result::kRecovered;
  return report;
}

}  // namespace tovalen::ffmpeg
