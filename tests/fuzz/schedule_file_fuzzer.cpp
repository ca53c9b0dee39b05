// Any bytes may be opened as a .yyk file: each must be refused with ScheduleFileError or decode
// to contents that survive saving and loading again unchanged.
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <string_view>

#include "platform/cp932.h"
#include "platform/trace.h"
#include "schedule/schedule_file.h"
#include "schedule/yoyaku_schedule.h"

namespace {

using namespace tovalen;

[[noreturn]] void Mismatch(std::size_t index, const char* field, const std::string& before, const std::string& after) {
  // Texts may be 64 KiB long; the start is enough to see the change.
  const std::string from(TruncateUtf8(before, 200));
  const std::string to(TruncateUtf8(after, 200));
  std::fprintf(stderr, "reservation %zu: the %s changed from \"%s\" to \"%s\"\n", index, field, from.c_str(),
               to.c_str());
  std::abort();
}

void RequireSame(const ScheduleFileContents& decoded, const ScheduleFileContents& again) {
  if (again.settings != decoded.settings) {
    std::fprintf(stderr, "the capture settings changed\n");
    std::abort();
  }
  if (again.reservations.size() != decoded.reservations.size()) {
    std::fprintf(stderr, "%zu reservations became %zu\n", decoded.reservations.size(), again.reservations.size());
    std::abort();
  }
  for (std::size_t i = 0; i < decoded.reservations.size(); ++i) {
    const SYoyaku& a = decoded.reservations[i];
    const SYoyaku& b = again.reservations[i];
    if (a.strTitle != b.strTitle) Mismatch(i, "title", a.strTitle, b.strTitle);
    if (a.strFileName != b.strFileName) Mismatch(i, "file name", a.strFileName, b.strFileName);
    if (a != b)
      Mismatch(i, "times", std::to_string(a.timeStart) + "+" + std::to_string(a.spanDuration),
               std::to_string(b.timeStart) + "+" + std::to_string(b.spanDuration));
  }
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int* /*argc*/, char*** /*argv*/) {
  SetTraceSink({});  // every decode traces the audio block; millions of lines help nobody
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  ScheduleFileContents decoded;
  try {
    decoded = DecodeScheduleFile(std::string_view(reinterpret_cast<const char*>(data), size));
  } catch (const ScheduleFileError&) {
    return 0;  // a clear refusal is all a damaged file may cause
  }
  CYoyakuSchedule schedule;
  schedule.ReplaceAll(decoded.reservations);
  RequireSame(decoded, DecodeScheduleFile(EncodeScheduleFile(decoded.settings, schedule)));
  return 0;
}
