#include "schedule/capture_settings.h"

#include <gmock/gmock.h>

#include "schedule/archive.h"
#include "support/trace_capture.h"

namespace tovalen {
namespace {

using ::testing::ElementsAre;

std::string Le(std::initializer_list<std::int32_t> values) {
  ArchiveWriter writer;
  for (auto v : values) writer.WriteInt32(v);
  return writer.Bytes();
}

TEST(CaptureSettings, DefaultsAndTheirTexts) {
  EXPECT_EQ(SAudioProperty().ToString(), "nSamplesPerSec = 3, nPrecision = 1, nChannels = 1");
  EXPECT_EQ(SVideoOption().ToString(), "FPS = 1, PersistentConnect = 0");
  EXPECT_EQ((SAudioProperty{-1, 0, 7}).ToString(), "nSamplesPerSec = -1, nPrecision = 0, nChannels = 7");
  EXPECT_EQ((SVideoOption{3, true}).ToString(), "FPS = 3, PersistentConnect = 1");
}

TEST(CaptureSettings, BlockIsTwentyFourBytesInFileOrder) {
  ArchiveWriter writer;
  SCaptureSettings settings;
  settings.videoOption = {7, true};
  settings.audioProperty = {-1, 0, 1};
  settings.iCapDriverId = 4;
  settings.Serialize(writer);
  EXPECT_EQ(writer.Bytes(), Le({7, 1, -1, 0, 1, 4}));

  ArchiveReader reader(writer.Bytes());
  SCaptureSettings loaded;
  loaded.Serialize(reader);
  EXPECT_EQ(loaded, settings);  // out-of-range choices are held unchanged
}

TEST(CaptureSettings, OnlyAStoredOneMeansPersistentConnect) {
  for (const auto& [word, expected] : {std::pair{1, true}, {2, false}, {-1, false}, {0, false}}) {
    const std::string bytes = Le({1, word});
    ArchiveReader reader(bytes);
    SVideoOption option;
    option.Serialize(reader);
    EXPECT_EQ(option.PersistentConnect, expected) << word;
    ArchiveWriter writer;
    option.Serialize(writer);
    EXPECT_EQ(writer.Bytes(), Le({1, expected ? 1 : 0}));
  }
}

TEST(CaptureSettings, AudioPropertyTracesWhenStoredAndAfterLoading) {
  testing::TraceCapture trace;
  ArchiveWriter writer;
  SAudioProperty{2, 0, 0}.Serialize(writer);
  ArchiveReader reader(writer.Bytes());
  SAudioProperty loaded;
  loaded.Serialize(reader);
  const char* head = "D: SAudioProperty::SetAudioProperty()\n\t";
  const char* text = "nSamplesPerSec = 2, nPrecision = 0, nChannels = 0";
  EXPECT_THAT(trace.Pieces(), ElementsAre(head, text, "\n", head, text, "\n"));
}

TEST(CaptureSettings, TruncatedBlockChangesNothingAndTracesNothing) {
  const std::string full = Le({0, 1, 0, 0, 0, 2});
  for (std::size_t size = 0; size < full.size(); ++size) {
    ArchiveReader reader(std::string_view(full).substr(0, size));
    SCaptureSettings settings;
    testing::TraceCapture trace;
    EXPECT_THROW(settings.Serialize(reader), ArchiveError) << size;
    EXPECT_EQ(settings, SCaptureSettings()) << size;
    if (size < 20) {
      EXPECT_TRUE(trace.Pieces().empty()) << size;
    }
  }
}

}  // namespace
}  // namespace tovalen
