// Charsets on a UTF-8 node: posted text recoded to the charset its CHRS
// kludge names and back when decoded, and UTF-8 names folded by letter.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "support/e2e.h"
#include "support/peers.h"
#include "util/text.h"

namespace kavel::e2e {
namespace {

const char* const kFormats[] = {"Msg", "Squish", "Jam"};

// "Привет, мир!" in UTF-8 and in CP866.
const char kHelloUtf8[] = "Привет, мир!";
const char kHelloCp866[] = "\x8F\xE0\xA8\xA2\xA5\xE2, \xAC\xA8\xE0!";

class CharsetTest : public ::testing::Test {
 protected:
  void SetUp() override {
    for (const char* format : kFormats) dir_.AddArea(format, format);
  }
  void Config(const std::vector<std::string>& extra) {
    std::vector<std::string> lines = {"BASETEXTPATH txt",
                                      "USEENCODEDSTRINGS Yes",
                                      "FROM \"Иван Петров\"", "SUBJ \"Отчёт\""};
    lines.insert(lines.end(), extra.begin(), extra.end());
    dir_.WriteConfig(lines);
  }
  RunDirectory dir_;
};

// UTF-8 -> CP866 in the base -> UTF-8 file, in every format; the section
// count follows the bytes in the base; characters CP866 lacks are counted.
// Other CHRS charsets, named as FTN names them, decode to the same text.
TEST_F(CharsetTest, Utf8FilesTravelInTheirCharsetAndComeBack) {
  Config({"CHRS CP866 2", "LOCALCHARSET UTF-8"});
  // 12,000 bytes of Cyrillic: 24,000 in UTF-8, one 16 KB section in CP866.
  std::string text;
  for (int i = 0; i < 400; ++i) text += "Съешь же ещё этих булок\r\n";
  text += std::string(kHelloUtf8) + "\r\n";
  dir_.WriteFile("отчёт.txt", text);
  dir_.WriteFile("ЦЕНА.txt", "Цена: 5 €\r\n");
  for (const std::string f : kFormats) {
    SCOPED_TRACE(f);
    RunResult post = dir_.Run({"/ENCODE", "отчёт.txt", f});
    EXPECT_NE(post.out.find("  - Ok..."), std::string::npos) << post.out;
    EXPECT_EQ(post.out.find("[1/2]"), std::string::npos) << post.out;
    post = dir_.Run({"/ENCODE", "ЦЕНА.txt", f});
    EXPECT_NE(post.out.find("1 characters of ЦЕНА.txt could not be recoded "
                            "to CP866 and were posted as \"?\""),
              std::string::npos)
        << post.out;
    dir_.Run({"/DECODE", f});
    EXPECT_EQ(dir_.ReadFile("txt/" + LowerText(f) + "/отчёт.txt"), text);
    EXPECT_EQ(dir_.ReadFile("txt/" + LowerText(f) + "/цена.txt"),
              "Цена: 5 ?\r\n");
  }
  // What the base holds: CP866 text after the CHRS kludge, which follows
  // the PID kludge, and FROM in CP866.
  std::string base;
  for (const std::string& name : dir_.FilesBelow("bases/Msg"))
    base += dir_.ReadFile(name);
  for (const std::string& part :
       {std::string(kHelloCp866),
        std::string("\x01PID: Tolvex 2.2Beta\r\x01"
                    "CHRS: CP866 2\r"),
        std::string("\x88\xA2\xA0\xAD \x8F\xA5\xE2\xE0\xAE\xA2")}) {
    EXPECT_NE(base.find(part), std::string::npos) << part;
  }
  // A JAM reader that recodes by the CHRS kludge shows the UTF-8 names.
  if (FidonetJamMissing().empty()) {
    const JamDump dump = DumpWithFidonetJam(dir_.Join("bases/Jam"));
    EXPECT_NE(dump.output.find("decoded from=" + JamDumpEscaped("Иван Петров") +
                               " subject=" + JamDumpEscaped("Отчёт")),
              std::string::npos)
        << dump.output;
  }
  const std::pair<const char*, const char*> others[] = {
      {"KOI8-R 2", kHelloUtf8},
      {"LATIN-1 2", "Grüße aus Köln"},
      {"UTF-8 4", "Привет, Köln €"}};
  for (const auto& [chrs, note] : others) {
    SCOPED_TRACE(chrs);
    Config({std::string("CHRS ") + chrs, "LOCALCHARSET UTF-8",
            "WHATDOWITHEXISTFILE R"});
    dir_.WriteFile("note.txt", std::string(note) + "\r\n");
    dir_.Run({"/ENCODE", "note.txt", "Jam"});
    dir_.Run({"/DECODE", "Jam"});
    EXPECT_EQ(dir_.ReadFile("txt/jam/note.txt"), std::string(note) + "\r\n");
  }
}

// Names: UTF-8 letters fold by letter (never byte by byte as CP866), with
// no charset settings at all; a CP866 name keeps its bytes' rule.
TEST_F(CharsetTest, NamesWithoutCharsetSettings) {
  Config({});
  dir_.WriteFile("ОТЧЁТ.TXT", "one\r\n");
  dir_.WriteFile("\x8F\x90\x88\x82\x85\x92.TXT", "two\r\n");  // CP866
  for (const char* name : {"отчёт.txt", "\x8F\x90\x88\x82\x85\x92.TXT"}) {
    const RunResult post = dir_.Run({"/ENCODE", name, "Msg"});
    EXPECT_NE(post.out.find("  - Ok..."), std::string::npos) << post.out;
  }
  dir_.Run({"/DECODE", "Msg"});
  EXPECT_EQ(dir_.ReadFile("txt/msg/отчёт.txt"), "one\r\n");
  EXPECT_EQ(dir_.ReadFile("txt/msg/\xAF\xE0\xA8\xA2\xA5\xE2.txt"), "two\r\n");
  EXPECT_EQ(dir_.FilesBelow("txt").size(), 2u);
}

}  // namespace
}  // namespace kavel::e2e
