#include "platform/japanese_line_breaks.h"

#include <gtest/gtest.h>

#include <regex>

namespace tovalen {
namespace {

// The marked page with each piece led by "|" where a line may break before it, or by "·"
// where it may not.
std::string Breaks(std::string_view html) {
  std::string marked = std::regex_replace(MarkJapaneseLineBreaks(html), std::regex("</J[BN]>"), "");
  marked = std::regex_replace(marked, std::regex("<JB>"), "|");
  return std::regex_replace(marked, std::regex("<JN>"), "·");
}

TEST(JapaneseLineBreaks, BreaksBetweenJapaneseCharactersWhereJapaneseAllows) {
  EXPECT_EQ(Breaks("録画予約を設定します。"), "|録|画|予|約|を|設|定|し|ま|す。");
  EXPECT_EQ(Breaks("「月〜金」は（1〜52）"), "|「月〜|金」|は|（1〜|52）");
  EXPECT_EQ(Breaks("ショット、ちょっと"), "|ショッ|ト、|ちょっ|と");
  EXPECT_EQ(Breaks("ヘルプ(H)..."), "|ヘ|ル|プ|(H)...");
  // Latin words stay whole; runs without Japanese are not touched at all.
  EXPECT_EQ(Breaks("AVIファイル news_2030.avi"), "|AVI|ファ|イ|ル news_2030.avi");
  EXPECT_EQ(MarkJapaneseLineBreaks("<p>plain text</p>"), "<p>plain text</p>");
  // Across a tag the break follows the characters on both sides.
  EXPECT_EQ(Breaks("押す<b>OK</b>を選ぶ。<b>」</b>"), "|押|す<b>OK</b>|を|選|ぶ。<b>·」</b>");
  EXPECT_EQ(MarkJapaneseLineBreaks("<b>あ</b>い"), "<b><JB>あ</JB></b><JB>い</JB>");
}

TEST(JapaneseLineBreaks, SourceLineBreaksVanishOnlyBetweenJapaneseCharacters) {
  EXPECT_EQ(Breaks("予約の、\n  録画を"), "|予|約|の、|録|画|を");
  EXPECT_EQ(Breaks("ください。\n」"), "|く|だ|さ|い。」");
  EXPECT_EQ(Breaks("参照</b>\n<b>ボタン"), "|参|照</b><b>|ボ|タ|ン");
  EXPECT_EQ(Breaks("AVI\nファイル"), "AVI\n|ファ|イ|ル");
  EXPECT_EQ(Breaks("時刻 12月  0秒"), "|時|刻 |12|月  |0|秒");  // spaces in a line are meant
}

TEST(JapaneseLineBreaks, LeavesTagsEntitiesAndVerbatimElementsAlone) {
  const std::string head = "<head><title>録画\n予約</title></head>";
  EXPECT_EQ(MarkJapaneseLineBreaks(head), head);
  const std::string pre = "<PRE>日本\n語</PRE>";
  EXPECT_EQ(MarkJapaneseLineBreaks(pre), pre);
  EXPECT_EQ(MarkJapaneseLineBreaks("<a href=\"日本.htm\" title=\"日本\">"), "<a href=\"日本.htm\" title=\"日本\">");
  EXPECT_EQ(MarkJapaneseLineBreaks("<!-- 日本 -->"), "<!-- 日本 -->");
  EXPECT_EQ(Breaks("日&amp;本&nbsp;"), "|日|&amp;|本|&nbsp;");
  // Broken input loses nothing.
  for (const std::string broken : {"<", "日本<b", "<pre>日本", "&", "\xE6\x97", "日\xFF本"}) {
    std::string kept = std::regex_replace(MarkJapaneseLineBreaks(broken), std::regex("</?J[BN]>"), "");
    EXPECT_EQ(kept, broken);
  }
}

}  // namespace
}  // namespace tovalen
