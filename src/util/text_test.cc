#include "util/text.h"

#include <gtest/gtest.h>

#include "util/case_fold.h"

namespace kavel {
namespace {

TEST(CaseTest, LatinAndCp866LettersOnly) {
  // а..п (160..175) -> А..П (128..143); р..я (224..239) -> Р..Я (144..159);
  // ё, the capitals and the box characters stay; lower-casing undoes
  // exactly that.
  EXPECT_EQ(UpperText("echoArea 1z{\xA0\xAF\xE0\xEF\xF1\xB0\xF0\x80\x9F"),
            "ECHOAREA 1Z{\x80\x8F\x90\x9F\xF1\xB0\xF0\x80\x9F");
  for (int byte = 0; byte < 256; ++byte) {
    const char c = static_cast<char>(byte);
    EXPECT_EQ(UpperChar(LowerChar(UpperChar(c))), UpperChar(c)) << byte;
    if (UpperChar(c) != c) {
      EXPECT_EQ(LowerChar(UpperChar(c)), c) << byte;
    }
  }
}

// Words are separated by blanks only; a line without one is its own rest;
// the first quote anywhere opens a value (an unclosed one runs to the
// end); paths keep their drive and get one closing separator.
TEST(TextTest, StringFunctions) {
  using Fn = std::string (*)(std::string_view);
  const struct {
    Fn fn;
    const char* in;
    const char* out;
  } cases[] = {
      {FirstWord, "   echoarea  Foo", "ECHOAREA"},
      {RestOfLine, "   echoarea  Foo", "Foo"},
      {ExtractValue, "FORWARDFROM John  Smith  ", "John  Smith  "},
      {ExtractValue, "KEY \"c:\\my files\\\" trailing", "c:\\my files\\"},
      {ExtractValue, "KEY \"open value ", "open value "},
      {FileNameOf, "C:\\FILES\\AREA\\a.txt", "a.txt"},
      {DirectoryOf, "C:\\FILES\\a.txt", "C:\\FILES\\"},
      {DirectoryOf, "C:a.txt", "C:"},
      {ParentDirectoryOf, "C:\\FILES\\AREA\\", "C:\\FILES\\"},
      {ExtensionOf, "ARCHIVE.TAR.GZ", "TAR"},
      {ExtensionOf, "a.b.txt", "b.t"},
  };
  for (const auto& c : cases) EXPECT_EQ(c.fn(c.in), c.out) << c.in;
  for (const char* line : {"", "\\single", " ;indented"}) {
    EXPECT_TRUE(IsSignificantLine(line)) << line;
  }
}

// The keyword is matched whole and separated by a blank; paths end in one
// separator and are cut to a short string; a flag is yes only for a value
// starting with Y, and a keyword alone changes nothing.
TEST(KeywordReaderTest, Settings) {
  const struct {
    const char* line;
    bool read;
    const char* path;
  } paths[] = {
      {"BASETEXTPATH c:\\fido\\text", true, "c:\\fido\\text\\"},
      {"BASETEXTPATH\tXX", false, "unchanged"},
  };
  for (const auto& p : paths) {
    std::string path = "unchanged";
    EXPECT_EQ(ReadPathSetting("BASETEXTPATH", &path, p.line), p.read) << p.line;
    EXPECT_EQ(path, p.path) << p.line;
  }
  bool flag = true;
  EXPECT_FALSE(ReadFlagSetting("K", &flag, "K") || !flag);
  EXPECT_TRUE(ReadFlagSetting("K", &flag, "K True") && !flag);
}

// Decimal or $hex, one sign, nothing around it; out of range reads as 0.
TEST(NumberTest, TextToInt) {
  const struct {
    const char* text;
    int32_t value;
  } cases[] = {
      {"14", 14}, {"$1F", 31}, {"-$10", -16}, {"2147483648", 0}, {"1F", 0}};
  for (const auto& c : cases) EXPECT_EQ(TextToInt(c.text), c.value) << c.text;
  EXPECT_EQ(IntToText(-42), "-42");
  EXPECT_EQ(PadWithZeros("5", 2), "05");
}

}  // namespace
}  // namespace kavel
