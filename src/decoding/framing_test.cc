#include "decoding/framing.h"

#include <gtest/gtest.h>

#include "decoding/file_name_safety.h"

namespace kavel {
namespace {

constexpr char kPattern[] = "text.begin % of % of file %";

TEST(FramingLineTest, FirstWordComparedWithKludgeMarkAndCaseIgnored) {
  EXPECT_TRUE(IsFramingLine("text.end", "text.end"));
  EXPECT_TRUE(IsFramingLine("TEXT.END trailing words", "text.end"));
  EXPECT_TRUE(IsFramingLine("\x01text.end", "text.end"));
  EXPECT_TRUE(IsFramingLine("text.end", "\x01text.end"));
  EXPECT_TRUE(IsFramingLine("  text.end", "text.end"));
  EXPECT_FALSE(IsFramingLine("text.endless", "text.end"));
  EXPECT_FALSE(IsFramingLine("", "text.end"));
  EXPECT_TRUE(IsFramingLine("text.begin anything", kPattern));
}

TEST(FramingLineTest, QuickTestNeverRejectsAFramingLine) {
  const char* patterns[] = {kPattern, "\x01text.end", "  Begin %", "", " "};
  const char* lines[] = {"text.end",   "TEXT.BEGIN 1 of 2 of file a",
                         "\x01text.x", "  \x01Text",
                         "begin",      "BEGIN 3",
                         "",           " ",
                         "\x01",       "x text.end",
                         "\x01 text",  "tExt"};
  for (const char* pattern : patterns) {
    const FramingFilter filter(pattern);
    for (const char* line : lines) {
      if (IsFramingLine(line, pattern)) {
        EXPECT_TRUE(filter.MayMatch(line))
            << "pattern '" << pattern << "' line '" << line << "'";
      }
    }
  }
  EXPECT_FALSE(FramingFilter(kPattern).MayMatch("x text.end"));
  EXPECT_FALSE(FramingFilter(kPattern).MayMatch(""));
  EXPECT_TRUE(FramingFilter("").MayMatch("anything"));
}

TEST(ParseBeginLineTest, ValidLinesPlainAndAsKludge) {
  BeginLine b;
  ASSERT_EQ(
      ParseBeginLine("text.begin 10 of 12 of file news.txt", kPattern, &b),
      BeginLineKind::kValid);
  EXPECT_EQ(b.part, 10);
  EXPECT_EQ(b.totalParts, 12);
  EXPECT_EQ(b.fileName, "NEWS.TXT");
  ASSERT_EQ(
      ParseBeginLine("\x01text.begin 1 of 2 of file hello.txt", kPattern, &b),
      BeginLineKind::kValid);
  EXPECT_EQ(b.part, 1);
  EXPECT_EQ(b.totalParts, 2);
  EXPECT_EQ(b.fileName, "HELLO.TXT");
  // A pattern configured as a kludge reads plain lines the same way.
  ASSERT_EQ(ParseBeginLine("text.begin 2 of 2 of file hello.txt",
                           "\x01text.begin % of % of file %", &b),
            BeginLineKind::kValid);
  EXPECT_EQ(b.part, 2);
}

TEST(ParseBeginLineTest, MalformedLinesAreRejected) {
  BeginLine b;
  const char* malformed[] = {
      "text.begin x of 3 of file a.zip",  "text.begin 1 of 3 of file",
      "text.begin  2 of 3 of file a.zip", "text.begin 1 from 3 of file a.zip",
      "text.begin 0 of 3 of file a.zip",  "text.begin 4 of 3 of file a.zip",
      "text.begin 5 of 3 of file a.zip",  "text.begin -1 of 3 of file a.zip",
      "text.begin 1 of 0 of file a.zip",  "text.begin",
  };
  for (const char* line : malformed) {
    EXPECT_EQ(ParseBeginLine(line, kPattern, &b), BeginLineKind::kMalformed)
        << line;
  }
  EXPECT_EQ(ParseBeginLine("some text", kPattern, &b),
            BeginLineKind::kNotBegin);
}

TEST(ParseBeginLineTest, NamesLeavingTheDirectoryAreUnsafe) {
  BeginLine b;
  const char* unsafe[] = {
      "text.begin 1 of 1 of file ..\\..\\x",
      "text.begin 1 of 1 of file /etc/x",
      "text.begin 1 of 1 of file C:\\x",
      "text.begin 1 of 1 of file a/../../x",
      "text.begin 1 of 1 of file ..",
      "text.begin 1 of 1 of file *.txt",
      "text.begin 1 of 1 of file a?b",
      "text.begin 1 of 1 of file a\tb",
  };
  for (const char* line : unsafe) {
    EXPECT_EQ(ParseBeginLine(line, kPattern, &b), BeginLineKind::kUnsafe)
        << line;
  }
}

TEST(FileNameSafetyTest, PlainNamesOnly) {
  EXPECT_TRUE(IsSafeFileName("NEWS.TXT"));
  EXPECT_TRUE(IsSafeFileName("a..b"));
  EXPECT_TRUE(IsSafeFileName("\x8d\xa0\xa7\xa2\xa0\xad\xa8\xa5.TXT"));
  EXPECT_FALSE(IsSafeFileName(""));
  EXPECT_FALSE(IsSafeFileName("."));
  EXPECT_FALSE(IsSafeFileName("..."));
  EXPECT_FALSE(IsSafeFileName("a\\b"));
  EXPECT_FALSE(IsSafeFileName("a/b"));
  EXPECT_FALSE(IsSafeFileName("c:x"));
  EXPECT_FALSE(IsSafeAreaTag("FIDO:NET"));
  EXPECT_FALSE(IsSafeAreaTag(".."));
  EXPECT_TRUE(IsSafeAreaTag("RU.KAVEL.TEST"));
}

}  // namespace
}  // namespace kavel
