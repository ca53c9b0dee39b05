#include "cli/value_parsers.h"

#include <gtest/gtest.h>

#include "cli/command_line.h"

namespace tovalen::cli {
namespace {

TEST(ValueParsers, LengthsTakeAnOptionalUnit) {
  EXPECT_EQ(ParseLengthOption("length", "90"), 90);
  EXPECT_EQ(ParseLengthOption("length", "90s"), 90);
  EXPECT_EQ(ParseLengthOption("length", "30m"), 1800);
  EXPECT_EQ(ParseLengthOption("length", "2h"), 7200);
  for (const char* bad : {"", "0", "-1", "m", "1.5h", "10x", "99999999999999999999"}) {
    EXPECT_THROW(ParseLengthOption("length", bad), UsageError) << bad;
  }
}

TEST(ValueParsers, IntegersAndSwitchesAreRangeChecked) {
  EXPECT_EQ(ParseIntOption("--fps", "3", 0, 3), 3);
  EXPECT_THROW(ParseIntOption("--fps", "4", 0, 3), UsageError);
  EXPECT_THROW(ParseIntOption("--fps", "1a", 0, 3), UsageError);
  EXPECT_TRUE(ParseOnOffOption("persistent", "on"));
  EXPECT_FALSE(ParseOnOffOption("persistent", "off"));
  EXPECT_THROW(ParseOnOffOption("persistent", "1"), UsageError);
}

TEST(CommandLineWords, OptionsTakeOneValueOnce) {
  const CommandLine line({"f.yyk", "--title", "--weird title", "2"}, {"title"});
  EXPECT_EQ(line.Option("title"), "--weird title");
  EXPECT_EQ(line.Positional(2, "FILE INDEX")[1], "2");
  EXPECT_THROW(CommandLine({"--title"}, {"title"}), UsageError);
  EXPECT_THROW(CommandLine({"--title", "a", "--title", "b"}, {"title"}), UsageError);
}

}  // namespace
}  // namespace tovalen::cli
