// Writes the fuzzer's seed corpus into the folder given: files made by the program's own encoder,
// one for each string form the decoder reads, and files whose counts and lengths lie.
#include <cstdint>
#include <cstdio>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "platform/atomic_file.h"
#include "platform/trace.h"
#include "schedule/schedule_file.h"
#include "schedule/yoyaku_schedule.h"
#include "support/reservation.h"

namespace {

using namespace tovalen;

constexpr std::size_t kCountOffset = 24;

SYoyaku Reservation(std::string title, std::string file_name) {
  return testing::Reservation(1'700'000'000, 1800, std::move(title), std::move(file_name));
}

std::string Encode(const std::vector<SYoyaku>& reservations) {
  CYoyakuSchedule schedule;
  schedule.ReplaceAll(reservations);
  return EncodeScheduleFile(SCaptureSettings{}, schedule);
}

std::string LittleEndian(std::uint64_t value, std::size_t bytes) {
  std::string out;
  for (std::size_t i = 0; i < bytes; ++i) out.push_back(static_cast<char>(value >> (8 * i)));
  return out;
}

std::string WithCount(std::string bytes, std::uint32_t count) {
  return bytes.replace(kCountOffset, 4, LittleEndian(count, 4));
}

// One reservation whose title is stored as given, in forms another writer may use.
std::string WithStoredTitle(std::string_view stored_title) {
  std::string bytes = WithCount(Encode({}), 1);
  bytes += LittleEndian(1'700'000'000, 4) + LittleEndian(1'700'000'060, 4);
  bytes.append(stored_title);
  bytes.push_back('\0');  // an empty file name
  return bytes;
}

std::string EightByteLengthForm(std::uint64_t length, std::string_view text) {
  return std::string(7, '\xFF') + LittleEndian(length, 8) + std::string(text);
}

std::vector<std::pair<std::string, std::string>> Seeds() {
  const std::string one = Encode({Reservation("番組名", "C:\\capture.avi")});
  return {
      {"default", Encode({})},
      {"one", one},
      {"title-254", Encode({Reservation(std::string(254, 'a'), "a.avi")})},
      {"title-255", Encode({Reservation(std::string(255, 'b'), "b.avi")})},
      {"title-65534", Encode({Reservation(std::string(65534, 'c'), "c.avi")})},
      {"japanese", Encode({Reservation("ニュース７　天気予報", "/home/録画/ニュース.avi"),
                           Reservation("ドラマ「春」第１話", "/video/ドラマ.avi")})},
      {"utf16",
       Encode({Reservation("한국어 🎥", std::string(300, 'x') + "é€.avi"), Reservation("〜−¥", "/v/¥100.avi")})},
      {"utf16-long", Encode({Reservation("Ω" + std::string(300, 'y') + "한", "d.avi")})},
      // Text the code page holds, stored in the UTF-16 form all the same.
      {"utf16-ascii", WithStoredTitle(std::string("\xFF\xFE\xFF\x03x\0y\0z\0", 10))},
      {"eight-byte-length", WithStoredTitle(EightByteLengthForm(3, "abc"))},
      {"eight-byte-length-huge", WithStoredTitle(EightByteLengthForm(0xFFFF'FFFF'FFFF'FFF0, "abc"))},
      {"count-max", WithCount(one, 0x7FFF'FFFF)},
      {"count-negative", WithCount(one, 0xFFFF'FFFF)},
      {"count-one-too-many", WithCount(one, 2)},
      {"count-cut", one.substr(0, kCountOffset + 2)},
  };
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 2) {
    std::fprintf(stderr, "usage: %s FOLDER\n", argv[0]);
    return 2;
  }
  SetTraceSink({});
  try {
    for (const auto& [name, bytes] : Seeds()) WriteFileAtomically(std::string(argv[1]) + "/" + name + ".yyk", bytes);
  } catch (const FileError& error) {
    std::fprintf(stderr, "%s\n", error.what());
    return 1;
  }
  return 0;
}
