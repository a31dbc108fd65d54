#include "areacfg/area_options.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "driver/context_test_support.h"

namespace kavel {
namespace {

using Lines = std::vector<std::string>;

class AreaOptionsTest : public testing::ContextTest {
 protected:
  AreaOptions Parse(const std::string& text, Lines* log = nullptr) {
    AreaOptions options;
    Lines lines = Logged([&] { ParseAreaOptions(ctx_, text, &options); });
    if (log != nullptr) *log = lines;
    return options;
  }
};

TEST_F(AreaOptionsTest, ReadOptionsStopAtTheFirstLink) {
  Lines log;
  AreaOptions o = Parse(
      "-b Squish -a 2:5020/1.5 -d \"Foo talk\" 2:5020/1 -b Jam -d \"Links\"",
      &log);
  EXPECT_TRUE(log.empty());
  EXPECT_EQ(o.typeLetter, "S");
  EXPECT_TRUE(o.typeGiven);
  EXPECT_EQ(o.akaText, "2:5020/1.5");
  EXPECT_EQ(o.description, "Foo talk");
}

TEST_F(AreaOptionsTest, SkipGroupsConsumeTheirValues) {
  // Every value of the skip-with-value group looks like a link; were it not
  // consumed, the parse would end there.
  AreaOptions o = Parse(
      "-lr 2:1/1 -lw 2:1/1 -p 2:1/1 -$m 2:1/1 -DupeHistory 2:1/1 "
      "-dupecheck 2:1/1 -g 2:1/1 -sbadd -sbign -mandatory -nopack -killRead "
      "-keepUnread -keepsb -tinysb -killsb -manual -dosfile -h -nopause "
      "-ccoff -nolink -debug -b jam 2:5020/1");
  EXPECT_EQ(o.typeLetter, "J");
}

TEST_F(AreaOptionsTest, UnknownOptionIsSkippedAndParsingGoesOn) {
  AreaOptions o = Parse("-hide -paused -b MSG -noscan -d \"Kept\" 2:5020/1");
  EXPECT_EQ(o.typeLetter, "M");
  EXPECT_EQ(o.description, "Kept");
}

TEST_F(AreaOptionsTest, LastWordRules) {
  // A -b whose value is the last word is read.
  EXPECT_EQ(Parse("-nopack -b Jam").typeLetter, "J");
  // A lone option at the end is not examined, and nothing follows it.
  AreaOptions o = Parse("-b");
  EXPECT_FALSE(o.typeGiven);
  o = Parse("2:5020/1 -b Jam");
  EXPECT_FALSE(o.typeGiven);
  EXPECT_TRUE(Parse("").typeLetter.empty());
}

TEST_F(AreaOptionsTest, UnquotedDescriptionTakesTheRestOfTheLine) {
  AreaOptions o = Parse("-d Foo talk -b Jam 2:5020/1");
  EXPECT_EQ(o.description, "Foo talk -b Jam 2:5020/1");
  EXPECT_FALSE(o.typeGiven);
  // An unclosed quote also runs to the end of the line.
  o = Parse("-d \"Foo talk -b Jam");
  EXPECT_EQ(o.description, "Foo talk -b Jam");
  EXPECT_FALSE(o.typeGiven);
  // Blanks inside quotes stay.
  EXPECT_EQ(Parse("-d \"  two  blanks \" -b msg").description,
            "  two  blanks ");
}

TEST_F(AreaOptionsTest, BadValuesAreReported) {
  Lines log;
  AreaOptions o = Parse("-a 2:5020/1x -b Hudson -d \"D\"", &log);
  EXPECT_EQ(log, (Lines{
                     "error converting address 2:5020/1x -b Hudson -d \"D\" "
                     "(our aka)",
                     "[err] Error reading type of message base - HUDSON",
                 }));
  EXPECT_EQ(o.akaText, "2:5020/1X");
  EXPECT_TRUE(o.typeGiven);
  EXPECT_EQ(o.typeLetter, "");
  EXPECT_EQ(o.description, "D");
}

TEST_F(AreaOptionsTest, PassthroughType) {
  Lines log;
  AreaOptions o = Parse("-b PassThrough 2:5020/1", &log);
  EXPECT_TRUE(log.empty());
  EXPECT_TRUE(o.passthrough);
  EXPECT_EQ(o.typeLetter, "");
}

TEST(SkipQuotedTextTest, TextAfterTheSecondQuote) {
  EXPECT_EQ(SkipQuotedText("\"a b\" -b jam"), " -b jam");
  EXPECT_EQ(SkipQuotedText("x \"a b"), "x \"a b");
  EXPECT_EQ(SkipQuotedText("no quotes"), "no quotes");
  EXPECT_EQ(SkipQuotedText("\"\""), "");
}

}  // namespace
}  // namespace kavel
