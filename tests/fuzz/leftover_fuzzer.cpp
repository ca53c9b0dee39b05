// Any bytes may lie in a folder named like a recording a killed capture left: each must be
// refused with the file kept as it was, or rebuilt into a file that reads back with every frame
// decoding; the leftover goes only when it was rebuilt whole.
#include <fcntl.h>
#include <stdlib.h>
#include <unistd.h>

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>

#include "capture/ffmpeg/avi_read_back.h"
#include "capture/ffmpeg/ffmpeg_leftover_recovery.h"
#include "platform/posix_file.h"

namespace {

using namespace tovalen;

[[noreturn]] void Fail(const LeftoverReport& report, const std::string& why) {
  std::fprintf(stderr, "%s: %s\n", why.c_str(), DescribeLeftoverReport(report).c_str());
  std::abort();
}

const std::string& Folder() {
  static const std::string folder = [] {
    const char* shm = std::filesystem::is_directory("/dev/shm") ? "/dev/shm" : "/tmp";
    std::string pattern = std::string(shm) + "/tovalen-leftover-fuzz-XXXXXX";
    if (!::mkdtemp(pattern.data())) std::abort();
    return pattern;
  }();
  return folder;
}

std::string Bytes(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return {std::istreambuf_iterator<char>(in), {}};
}

void CheckRebuilt(const LeftoverReport& report) {
  const FileDescriptor fd(::open(report.recovered.c_str(), O_RDONLY | O_CLOEXEC));
  if (fd.get() < 0) Fail(report, "the rebuilt file is missing");
  const auto back = ffmpeg::ReadBackAvi(fd.get());
  if (!back) Fail(report, "the rebuilt file does not read back (" + back.Error().detail + ")");
  if (back->decodeErrors > 0 || back->frames != report.frames || (back->frames == 0 && back->audioBytes == 0))
    Fail(report, "the rebuilt file does not read back (" + std::to_string(back->frames) + " frames, " +
                     std::to_string(back->decodeErrors) + " errors)");
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::string leftover = Folder() + "/f.recording-Fuzz00.avi";
  const std::string input(reinterpret_cast<const char*>(data), size);
  {
    std::ofstream out(leftover, std::ios::binary | std::ios::trunc);
    out << input;
  }
  ffmpeg::FfmpegLeftoverRecovery recovery;
  const LeftoverReport report = recovery.Recover(leftover);
  const bool kept = std::filesystem::exists(leftover);
  if (report.result == LeftoverReport::Result::kRecovered || report.result == LeftoverReport::Result::kPartial)
    CheckRebuilt(report);
  if (report.result == LeftoverReport::Result::kRecovered && kept) Fail(report, "recovered, yet the leftover stays");
  if (report.result != LeftoverReport::Result::kRecovered && (!kept || Bytes(leftover) != input))
    Fail(report, "not recovered, yet the leftover changed");
  std::size_t files = 0;
  for (const auto& entry : std::filesystem::directory_iterator(Folder())) {
    ++files;
    std::filesystem::remove(entry.path());
  }
  const std::size_t expected = report.recovered.empty() ? 1 : report.result == LeftoverReport::Result::kPartial ? 2 : 1;
  if (files != expected) Fail(report, std::to_string(files) + " files in the folder");
  return 0;
}
