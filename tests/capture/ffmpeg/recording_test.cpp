#include <gmock/gmock.h>

#include "driver_fixture.h"

namespace tovalen::testing {
namespace {

using namespace tovalen::ffmpeg;
using ::testing::Eq;

class Recording : public DriverTest {};

TEST_F(Recording, MjpegWithSoundMatchesTheRequestedFormat) {
  Connect();
  ASSERT_TRUE(RecordFrames(45));
  ASSERT_TRUE(Save());
  const ProbedFile file = ProbeFile(target);
  ASSERT_EQ(file.error, "");
  ASSERT_TRUE(file.video);
  EXPECT_EQ(file.video->codec, "mjpeg");
  EXPECT_EQ(file.video->width, 320);
  EXPECT_EQ(file.video->height, 240);
  EXPECT_NEAR(file.video->frameRate, 30.0, 0.01);
  EXPECT_THAT(file.video->chunks, AboutFrames(1.5, 30));
  EXPECT_EQ(file.video->decodeErrors, 0);
  ASSERT_TRUE(file.audio);
  EXPECT_EQ(file.audio->codec, "pcm_s16le");
  EXPECT_EQ(file.audio->sampleRate, 44100);
  EXPECT_EQ(file.audio->channels, 2);
  EXPECT_NEAR(static_cast<double>(file.audio->samples), file.video->chunks / 30.0 * 44100, 44100 * 0.07);
}

}  // namespace
}  // namespace tovalen::testing
