#include "util/text.h"

#include <gtest/gtest.h>

#include "platform/temp_dir_for_testing.h"

namespace kavel {
namespace {

TEST(UpperTextTest, LatinAndCp866LettersOnly) {
  EXPECT_EQ(UpperText("echoArea 1z"), "ECHOAREA 1Z");
  // а..п (160..175) -> А..П (128..143); р..я (224..239) -> Р..Я (144..159).
  EXPECT_EQ(UpperText("\xA0\xAF\xE0\xEF"), "\x80\x8F\x90\x9F");
  // ё (241), the capitals 128..159 and the box characters stay.
  for (int byte = 128; byte <= 159; ++byte) {
    char c = static_cast<char>(byte);
    EXPECT_EQ(UpperChar(c), c) << byte;
  }
  EXPECT_EQ(UpperChar('\xF1'), '\xF1');
  EXPECT_EQ(UpperChar('\xB0'), '\xB0');
  EXPECT_EQ(UpperChar('\xF0'), '\xF0');
  EXPECT_EQ(UpperChar('{'), '{');
  // Lower-casing undoes it for exactly the same letters.
  for (int byte = 0; byte < 256; ++byte) {
    const char c = static_cast<char>(byte);
    EXPECT_EQ(UpperChar(LowerChar(UpperChar(c))), UpperChar(c)) << byte;
    if (UpperChar(c) != c) {
      EXPECT_EQ(LowerChar(UpperChar(c)), c) << byte;
    }
  }
  EXPECT_EQ(LowerText("RU.LINUX \x80\x9F"), "ru.linux \xA0\xEF");
}

TEST(WordTest, FirstWordAndRestOfLine) {
  EXPECT_EQ(FirstWord("   echoarea  Foo"), "ECHOAREA");
  EXPECT_EQ(RestOfLine("   echoarea  Foo"), "Foo");
  // A line without a blank is returned whole, not emptied.
  EXPECT_EQ(RestOfLine("WORD"), "WORD");
  EXPECT_EQ(FirstWord("word"), "WORD");
  // Trailing blanks stay; only blanks separate words.
  EXPECT_EQ(RestOfLine("key  a b  "), "a b  ");
  EXPECT_EQ(FirstWord("key\tvalue rest"), "KEY\tVALUE");
  EXPECT_EQ(RestOfLine("key   "), "");
  EXPECT_EQ(FirstWord(""), "");
  EXPECT_EQ(RestOfLine(""), "");
  std::string text = "   a b ";
  TrimLeadingBlanks(&text);
  EXPECT_EQ(text, "a b ");
}

TEST(ExtractValueTest, QuotedAndUnquoted) {
  EXPECT_EQ(ExtractValue("FORWARDFROM John  Smith  "), "John  Smith  ");
  EXPECT_EQ(ExtractValue("KEY \"c:\\my files\\\" trailing"), "c:\\my files\\");
  // The first quote anywhere in the line wins, even inside an unquoted value.
  EXPECT_EQ(ExtractValue("FORWARDSUBJ see \"this\" here"), "this");
  // An unclosed quote runs to the end of the line.
  EXPECT_EQ(ExtractValue("KEY \"open value "), "open value ");
  EXPECT_EQ(ExtractValue("KEY    "), "");
  EXPECT_EQ(ExtractValue("  KEY value"), "value");
}

TEST(SignificantLineTest, CommentForms) {
  EXPECT_TRUE(IsSignificantLine(""));
  EXPECT_FALSE(IsSignificantLine("; comment"));
  EXPECT_FALSE(IsSignificantLine("#comment"));
  EXPECT_FALSE(IsSignificantLine("\\\\ comment"));
  EXPECT_TRUE(IsSignificantLine("\\single"));
  EXPECT_TRUE(IsSignificantLine(" ;indented"));
}

TEST(KeywordReaderTest, TextAndPathSettings) {
  std::string path = "unchanged";
  EXPECT_TRUE(
      ReadPathSetting("BASETEXTPATH", &path, "BASETEXTPATH c:\\fido\\text"));
  EXPECT_EQ(path, "c:\\fido\\text\\");
  EXPECT_TRUE(ReadPathSetting("BASETEXTPATH", &path,
                              "basetextpath \"c:\\my files\\\""));
  EXPECT_EQ(path, "c:\\my files\\");
  EXPECT_TRUE(ReadPathSetting("BASETEXTPATH", &path, "BASETEXTPATH   "));
  EXPECT_EQ(path, "\\");
  // A path already ending in "/" gets no backslash.
  EXPECT_TRUE(ReadPathSetting("BASETEXTPATH", &path, "BASETEXTPATH /var/txt/"));
  EXPECT_EQ(path, "/var/txt/");
  // Indented keyword lines count; a tab does not separate the keyword.
  std::string text = "unchanged";
  EXPECT_TRUE(ReadTextSetting("FORWARDMASK", &text, "  FORWARDMASK FW"));
  EXPECT_EQ(text, "FW");
  EXPECT_FALSE(ReadTextSetting("FORWARDMASK", &text, "FORWARDMASK\tXX"));
  EXPECT_FALSE(ReadTextSetting("FORWARDMASK", &text, "FORWARDMASK"));
  EXPECT_FALSE(ReadTextSetting("FORWARDMASK", &text, "FORWARDMASKS XX"));
  EXPECT_EQ(text, "FW");
  // A long value is cut to a short string by the path reader.
  EXPECT_TRUE(ReadPathSetting("P", &path, "P " + std::string(300, 'x')));
  EXPECT_EQ(path.size(), 255u);
}

TEST(KeywordReaderTest, FlagSettings) {
  bool flag = false;
  EXPECT_TRUE(ReadFlagSetting("USETEXTSUBDIR", &flag, "USETEXTSUBDIR Yes"));
  EXPECT_TRUE(flag);
  EXPECT_TRUE(ReadFlagSetting("USETEXTSUBDIR", &flag, "USETEXTSUBDIR NO"));
  EXPECT_FALSE(flag);
  flag = true;
  EXPECT_FALSE(ReadFlagSetting("USETEXTSUBDIR", &flag, "USETEXTSUBDIR"));
  EXPECT_TRUE(flag);  // keyword alone: unchanged
  EXPECT_TRUE(ReadFlagSetting("USETEXTSUBDIR", &flag, "USETEXTSUBDIR   "));
  EXPECT_FALSE(flag);  // blanks only: no
  for (const char* yes : {"y", "YES", "yes please"}) {
    flag = false;
    ReadFlagSetting("K", &flag, std::string("K ") + yes);
    EXPECT_TRUE(flag) << yes;
  }
  for (const char* no : {"No", "1", "True", "on", "\"Yes\""}) {
    flag = true;
    ReadFlagSetting("K", &flag, std::string("K ") + no);
    EXPECT_FALSE(flag) << no;
  }
}

TEST(NumberTest, TextToInt) {
  EXPECT_EQ(TextToInt("14"), 14);
  EXPECT_EQ(TextToInt("   14"), 14);
  EXPECT_EQ(TextToInt("14 "), 0);
  EXPECT_EQ(TextToInt("$1F"), 31);
  EXPECT_EQ(TextToInt("$1f"), 31);
  EXPECT_EQ(TextToInt("-$10"), -16);
  EXPECT_EQ(TextToInt("+7"), 7);
  EXPECT_EQ(TextToInt("-2147483648"), INT32_MIN);
  EXPECT_EQ(TextToInt("2147483647"), INT32_MAX);
  EXPECT_EQ(TextToInt("2147483648"), 0);
  EXPECT_EQ(TextToInt("99999999999999999999"), 0);
  EXPECT_EQ(TextToInt("$FFFFFFFF"), 0);
  EXPECT_EQ(TextToInt(""), 0);
  EXPECT_EQ(TextToInt("-"), 0);
  EXPECT_EQ(TextToInt("$"), 0);
  EXPECT_EQ(TextToInt("12a"), 0);
  EXPECT_EQ(TextToInt("1F"), 0);
  EXPECT_EQ(IntToText(-42), "-42");
  EXPECT_EQ(IntToText(0), "0");
  EXPECT_EQ(PadWithZeros("5", 2), "05");
  EXPECT_EQ(PadWithZeros("123", 2), "123");
  EXPECT_EQ(PadWithZeros("", 3), "000");
}

TEST(PathTest, NameDirectoryExtension) {
  EXPECT_EQ(FileNameOf("C:\\FILES\\AREA\\a.txt"), "a.txt");
  EXPECT_EQ(FileNameOf("C:a.txt"), "C:a.txt");
  EXPECT_EQ(FileNameOf("a.txt"), "a.txt");
  EXPECT_EQ(FileNameOf("dir\\"), "");
  EXPECT_EQ(DirectoryOf("C:\\FILES\\a.txt"), "C:\\FILES\\");
  EXPECT_EQ(DirectoryOf("C:a.txt"), "C:");
  EXPECT_EQ(DirectoryOf("a.txt"), "");
  EXPECT_EQ(DirectoryOf("/var/a.txt"), "/var/");
  EXPECT_EQ(ParentDirectoryOf("C:\\FILES\\AREA\\"), "C:\\FILES\\");
  EXPECT_EQ(ParentDirectoryOf("C:\\FILES\\AREA"), "C:\\FILES\\");
  EXPECT_EQ(ParentDirectoryOf("AREA\\"), "");
  EXPECT_EQ(ExtensionOf("ARCHIVE.TAR.GZ"), "TAR");
  EXPECT_EQ(ExtensionOf("a.b.txt"), "b.t");
  EXPECT_EQ(ExtensionOf("README"), "");
  EXPECT_EQ(ExtensionOf("name."), "");
  EXPECT_EQ(ShortString(std::string(300, 'a')).size(), 255u);
}

TEST(FileTestTest, ExistsSizeAndDirectories) {
  TempDirForTesting dir;
  dir.WriteFile("Data.TXT", "12345");
  dir.WriteFile("sub/inner.bin", "x");
  const std::string base = dir.path() + "\\";
  EXPECT_TRUE(FileExists(base + "data.txt"));
  EXPECT_TRUE(FileExists(base + "*.TXT"));
  EXPECT_TRUE(FileExists(base + "SUB"));  // directories count
  EXPECT_FALSE(FileExists(base + "other.txt"));
  EXPECT_FALSE(FileExists(""));
  EXPECT_EQ(FileSizeOf(base + "DATA.TXT"), 5u);
  EXPECT_EQ(FileSizeOf(base + "missing"), 0u);
  EXPECT_TRUE(DirectoryExists(base + "Sub\\"));
  EXPECT_TRUE(DirectoryExists(base + "SUB"));
  EXPECT_FALSE(DirectoryExists(base + "data.txt"));
  EXPECT_FALSE(DirectoryExists(base + "nothing\\"));
  EXPECT_TRUE(DirectoryExists(dir.path() + "/"));
  EXPECT_TRUE(DirectoryExists("\\"));
}

TEST(FileTestTest, TryOpenForReadingKeepsResultCode) {
  TempDirForTesting dir;
  dir.WriteFile("Kavel.cfg", "first\r\nsecond\r\n");
  std::unique_ptr<TextReader> file;
  EXPECT_FALSE(TryOpenForReading(dir.Join("absent.cfg"), &file));
  EXPECT_EQ(LastIoResult(), kErrorNotFound);
  EXPECT_EQ(file, nullptr);
  ASSERT_TRUE(TryOpenForReading(dir.Join("KAVEL.CFG"), &file));
  EXPECT_EQ(LastIoResult(), 0);
  std::string line;
  ASSERT_TRUE(file->ReadLine(&line));
  EXPECT_EQ(line, "first");
  // A directory is not a readable text file.
  EXPECT_FALSE(TryOpenForReading(dir.path(), &file));
  EXPECT_NE(LastIoResult(), 0);
}

}  // namespace
}  // namespace kavel
