#include "util/case_fold.h"

#include <gtest/gtest.h>

#include <string>

namespace kavel {
namespace {

// UTF-8 names fold by character, never byte by byte as CP866.
TEST(CaseFoldTest, Utf8NamesFoldCyrillicAndAsciiOnly) {
  struct Case {
    const char* text;
    const char* upper;
    const char* lower;
  } cases[] = {
      {"привет.txt", "ПРИВЕТ.TXT", "привет.txt"},
      {"ОТЧЁТ.TXT", "ОТЧЁТ.TXT", "отчёт.txt"},
      {"ѐџ", "ЀЏ", "ѐџ"},        // U+0450..045F <-> U+0400..040F
      {"Ÿé€x", "Ÿé€X", "Ÿé€x"},  // other characters kept
  };
  for (const Case& c : cases) {
    EXPECT_TRUE(IsUtf8Name(c.text)) << c.text;
    EXPECT_EQ(UpperText(c.text), c.upper) << c.text;
    EXPECT_EQ(LowerText(c.text), c.lower) << c.text;
    EXPECT_TRUE(IsUtf8Name(UpperText(c.text))) << c.text;
    EXPECT_TRUE(EqualIgnoringCase(c.upper, c.lower)) << c.text;
  }
  EXPECT_FALSE(EqualIgnoringCase("Ё", "С"));
}

// Texts that are not valid UTF-8 keep the CP866 byte rule.
TEST(CaseFoldTest, OtherTextsFoldAsCp866) {
  for (const char* text : {"\xAF\xE0\xA8\xA2\xA5\xE2",  // CP866 "привет"
                           "\xC0\xAF",                  // overlong "/"
                           "\xED\xA0\x80",              // surrogate
                           "\xD0", "plain"}) {
    EXPECT_FALSE(IsUtf8Name(text)) << text;
  }
  std::string other;  // a UTF-8 name character by character
  EXPECT_EQ(OtherCaseAt("a\xF0\x9F\x98\x80", 0, true, &other), 1u);
  EXPECT_EQ(other, "A");
  EXPECT_EQ(OtherCaseAt("a\xF0\x9F\x98\x80", 1, true, &other), 4u);
}

}  // namespace
}  // namespace kavel
