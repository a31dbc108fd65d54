#include "decoding/framing.h"

#include <gtest/gtest.h>

#include "decoding/file_name_safety.h"

namespace kavel {
namespace {

constexpr char kPattern[] = "text.begin % of % of file %";

// The first word compares without case, the kludge mark and leading blanks;
// the quick filter never rejects a line that matches.
TEST(FramingLineTest, FirstWordAndQuickFilter) {
  const struct {
    const char* line;
    const char* pattern;
    bool framing;
  } cases[] = {
      {"TEXT.END trailing words", "text.end", true},
      {"\x01text.end", "text.end", true},
      {"text.endless", "text.end", false},
      {"BEGIN 3", "  Begin %", true},
      {"x text.end", kPattern, false},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.line);
    EXPECT_EQ(IsFramingLine(c.line, c.pattern), c.framing);
    EXPECT_TRUE(!c.framing || FramingFilter(c.pattern).MayMatch(c.line));
  }
  EXPECT_FALSE(FramingFilter(kPattern).MayMatch("x text.end"));
  EXPECT_FALSE(FramingFilter(kPattern).MayMatch("tosser echo"));
  EXPECT_FALSE(FramingFilter(kPattern).MayMatch("t"));
  EXPECT_TRUE(FramingFilter("x").MayMatch(" \x01x"));
  EXPECT_TRUE(FramingFilter("").MayMatch("anything"));
}

TEST(ParseBeginLineTest, ValidMalformedAndUnsafeLines) {
  using K = BeginLineKind;
  const char* kludge = "\x01text.begin % of % of file %";
  const struct {
    const char* line;
    const char* pattern;
    BeginLineKind kind;
    const char* parsed;  // "part/total name" of a valid line
  } cases[] = {
      {"text.begin 10 of 12 of file news.txt", kPattern, K::kValid,
       "10/12 NEWS.TXT"},
      // A pattern configured as a kludge reads plain lines the same way.
      {"text.begin 2 of 2 of file a", kludge, K::kValid, "2/2 A"},
      // A kludge line reads as the plain one, under either pattern.
      {"\x01text.begin 3 of 5 of file b.txt", kPattern, K::kValid,
       "3/5 B.TXT"},
      {"\x01text.begin $a of $c of file c", kludge, K::kValid, "10/12 C"},
      {"text.begin x of 3 of file a.zip", kPattern, K::kMalformed, ""},
      {"text.begin 4 of 3 of file a.zip", kPattern, K::kMalformed, ""},
      {"some text", kPattern, K::kNotBegin, ""},
      {"text.begin 1 of 1 of file ..\\..\\x", kPattern, K::kUnsafe, ""},
      {"text.begin 1 of 1 of file *.txt", kPattern, K::kUnsafe, ""},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.line);
    BeginLine b;
    ASSERT_EQ(ParseBeginLine(c.line, c.pattern, &b), c.kind);
    if (c.kind == K::kValid) {
      EXPECT_EQ(std::to_string(b.part) + "/" + std::to_string(b.totalParts) +
                    " " + b.fileName,
                c.parsed);
    }
  }
}
}  // namespace
}  // namespace kavel
