#include "schedule/schedule_file.h"

#include <gmock/gmock.h>

#include "platform/atomic_file.h"
#include "schedule/archive.h"
#include "schedule/yoyaku_schedule.h"
#include "support/temp_dir.h"

namespace tovalen {
namespace {

using testing::ReadFileBytes;
using testing::TempDir;
using testing::WriteFileBytes;

constexpr Time32 kStart = 0x12345678;

const std::string kEmptyDefaultFile(
    "\x01\0\0\0"
    "\0\0\0\0"
    "\x03\0\0\0"
    "\x01\0\0\0"
    "\x01\0\0\0"
    "\xFF\xFF\xFF\xFF"
    "\0\0\0\0",
    28);

SYoyaku DefaultAt(Time32 start) {
  ScopedFakeClock clock(start);
  return SYoyaku();
}

TEST(ScheduleFile, WorkedExampleHoldsByteForByte) {
  CYoyakuSchedule schedule;
  EXPECT_EQ(EncodeScheduleFile(SCaptureSettings(), schedule), kEmptyDefaultFile);

  schedule.AddYoyaku(DefaultAt(kStart));
  const std::string bytes = EncodeScheduleFile(SCaptureSettings(), schedule);
  ASSERT_EQ(bytes.size(), 28u + 30u);
  EXPECT_EQ(bytes.substr(24, 4), std::string("\x01\0\0\0", 4));
  EXPECT_EQ(bytes.substr(28), std::string("\x78\x56\x34\x12\x78\x56\x34\x12"
                                          "\x06\x94\xD4\x91\x67\x96\xBC"
                                          "\x0E"
                                          "C:\\capture.avi",
                                          30));
}

TEST(ScheduleFile, SaveAndLoadRoundTripSettingsAndReservations) {
  TempDir dir;
  SCaptureSettings settings;
  settings.videoOption = {3, true};
  settings.audioProperty = {0, 0, 0};
  settings.iCapDriverId = 2;
  CYoyakuSchedule schedule;
  for (int i = 0; i < 3; ++i) {
    SYoyaku y = DefaultAt(kStart + i * 1000);
    y.spanDuration = 60 * (i + 1);
    y.strTitle = "番組 " + std::to_string(i);
    y.strFileName = "/videos/ü/" + std::to_string(i) + ".avi";  // ü needs the UTF-16 form
    schedule.AddYoyaku(y);
  }
  const std::string path = dir.File("s.yyk");
  SaveScheduleFile(path, settings, schedule);
  const ScheduleFileContents loaded = LoadScheduleFile(path);
  EXPECT_EQ(loaded.settings, settings);
  EXPECT_EQ(loaded.reservations, schedule.Items());
}

TEST(ScheduleFile, LoadingSortsByStartAndKeepsFileOrderForEqualStarts) {
  ArchiveWriter writer;
  SCaptureSettings().Serialize(writer);
  writer.WriteInt32(3);
  for (const auto& [start, title] : {std::pair{300, "late"}, {100, "first of two"}, {100, "second of two"}}) {
    SYoyaku y = DefaultAt(start);
    y.strTitle = title;
    y.Serialize(writer);
  }
  const auto loaded = DecodeScheduleFile(writer.Bytes());
  ASSERT_EQ(loaded.reservations.size(), 3u);
  EXPECT_EQ(loaded.reservations[0].strTitle, "first of two");
  EXPECT_EQ(loaded.reservations[1].strTitle, "second of two");
  EXPECT_EQ(loaded.reservations[2].strTitle, "late");
}

TEST(ScheduleFile, ZeroOrNegativeCountLoadsAnEmptyScheduleButBytesAfterTheDataAreRefused) {
  for (std::int32_t count : {0, -1, INT32_MIN}) {
    ArchiveWriter writer;
    SCaptureSettings settings;
    settings.iCapDriverId = 1;
    settings.Serialize(writer);
    writer.WriteInt32(count);
    const auto loaded = DecodeScheduleFile(writer.Bytes());
    EXPECT_TRUE(loaded.reservations.empty()) << count;
    EXPECT_EQ(loaded.settings.iCapDriverId, 1);
    writer.WriteInt32(12345);
    EXPECT_THROW(DecodeScheduleFile(writer.Bytes()), ScheduleFileError) << count;
  }
  // Zeros are valid settings and no reservations, so only the bytes after them show the damage.
  const std::string zeros(64 * 1024, '\0');
  EXPECT_TRUE(DecodeScheduleFile(std::string_view(zeros).substr(0, 28)).reservations.empty());
  try {
    DecodeScheduleFile(zeros);
    FAIL() << "expected ScheduleFileError";
  } catch (const ScheduleFileError& error) {
    EXPECT_THAT(error.what(), ::testing::HasSubstr(std::to_string(zeros.size() - 28) + " bytes follow"));
  }
  CYoyakuSchedule schedule;
  schedule.AddYoyaku(DefaultAt(kStart));
  EXPECT_THROW(DecodeScheduleFile(EncodeScheduleFile(SCaptureSettings(), schedule) + '\0'), ScheduleFileError);
}

TEST(ScheduleFile, SettingsOutsideWhatAnyWriterStoresAreRefusedAndTheEdgesLoad) {
  // Offset, lowest and highest value a writer stores (-1: a settings dialog left without a choice).
  struct Field {
    std::size_t offset;
    std::int32_t lowest;
    std::int32_t highest;
    const char* name;
  };
  for (const Field& field :
       {Field{0, -1, 3, "FPS"}, Field{4, 0, 1, "PersistentConnect"}, Field{8, -1, 3, "nSamplesPerSec"},
        Field{12, -1, 1, "nPrecision"}, Field{16, -1, 1, "nChannels"}, Field{20, -1, 9, "CapDriverId"}}) {
    auto with = [&](std::int32_t value) {
      std::string bytes = kEmptyDefaultFile;
      ArchiveWriter word;
      word.WriteInt32(value);
      return bytes.replace(field.offset, 4, word.Bytes());
    };
    EXPECT_NO_THROW(DecodeScheduleFile(with(field.lowest))) << field.name;
    EXPECT_NO_THROW(DecodeScheduleFile(with(field.highest))) << field.name;
    for (std::int32_t wrong : {field.lowest - 1, field.highest + 1, -999165660}) {
      try {
        DecodeScheduleFile(with(wrong));
        ADD_FAILURE() << field.name << " " << wrong << " loaded";
      } catch (const ScheduleFileError& error) {
        EXPECT_THAT(error.what(), ::testing::HasSubstr(std::string(field.name) + " is " + std::to_string(wrong)));
      }
    }
  }
}

TEST(ScheduleFile, EveryTruncationIsRefused) {
  CYoyakuSchedule schedule;
  schedule.AddYoyaku(DefaultAt(kStart));
  SYoyaku second = DefaultAt(kStart + 100);
  second.strTitle = std::string(300, 't');  // three-byte length prefix
  schedule.AddYoyaku(second);
  const std::string bytes = EncodeScheduleFile(SCaptureSettings(), schedule);
  for (std::size_t size = 0; size < bytes.size(); ++size) {
    EXPECT_THROW(DecodeScheduleFile(std::string_view(bytes).substr(0, size)), ScheduleFileError) << size;
  }
  EXPECT_EQ(DecodeScheduleFile(bytes).reservations.size(), 2u);
}

TEST(ScheduleFile, ACountLargerThanTheBytesCanHoldIsRefusedBeforeAllocating) {
  std::string bytes = kEmptyDefaultFile;
  bytes.replace(24, 4, std::string("\xFF\xFF\xFF\x7F", 4));
  try {
    DecodeScheduleFile(bytes);
    FAIL() << "expected ScheduleFileError";
  } catch (const ScheduleFileError& error) {
    EXPECT_THAT(error.what(), ::testing::HasSubstr("2147483647 reservations"));
  }
}

TEST(ScheduleFile, AStringLengthLargerThanTheFileIsRefused) {
  std::string bytes = kEmptyDefaultFile;
  bytes.replace(24, 4, std::string("\x01\0\0\0", 4));
  bytes += std::string(
      "\1\0\0\0\2\0\0\0"
      "\xFF\xFF\xFF\xFF\xFF\xFF\x7F"
      "abc",
      18);
  EXPECT_THROW(DecodeScheduleFile(bytes), ScheduleFileError);
}

TEST(ScheduleFile, EmptyFileIsAClearError) {
  TempDir dir;
  const std::string path = dir.File("empty.yyk");
  WriteFileBytes(path, "");
  try {
    LoadScheduleFile(path);
    FAIL() << "expected ScheduleFileError";
  } catch (const ScheduleFileError& error) {
    EXPECT_THAT(error.what(), ::testing::HasSubstr(path));
    EXPECT_THAT(error.what(), ::testing::HasSubstr("empty"));
  }
}

TEST(ScheduleFile, FailedSaveLeavesThePreviousFileWhole) {
  TempDir dir;
  const std::string blocker = dir.File("not-a-dir");
  WriteFileBytes(blocker, "x");
  EXPECT_THROW(SaveScheduleFile(blocker + "/s.yyk", SCaptureSettings(), CYoyakuSchedule()), FileError);

  const std::string path = dir.File("s.yyk");
  WriteFileBytes(path, kEmptyDefaultFile);
  CYoyakuSchedule schedule;
  SYoyaku bad = DefaultAt(kStart);
  bad.strTitle = "\xC3";  // not UTF-8: cannot be stored
  schedule.AddYoyaku(bad);
  EXPECT_THROW(SaveScheduleFile(path, SCaptureSettings(), schedule), FileError);
  EXPECT_EQ(ReadFileBytes(path), kEmptyDefaultFile);
}

}  // namespace
}  // namespace tovalen
