// /ENCODE seen from outside: the real program posts files into *.MSG,
// Squish and JAM areas named in a fidoconfig areas file; the stored
// messages are read back through the message-area interface.
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <string>
#include <vector>

#include "msgbase/byte_stream.h"
#include "msgbase/formats/formats.h"
#include "msgbase/date_time.h"
#include "msgbase/ftn_address.h"
#include "msgbase/message_area.h"
#include "msgbase/message_text.h"
#include "support/e2e.h"
#include "support/posted_messages.h"
#include "util/text.h"

namespace kavel::e2e {
namespace {

struct Format {
  const char* name;       // for test names
  const char* type_word;  // the -b word of the areas file
  const char* base;       // base path below the run directory
  char id_letter;         // area id letter
};

const Format kFormats[] = {
    {"Msg", "Msg", "msg/foo", 'M'},
    {"Squish", "Squish", "sq/foo", 'S'},
    {"Jam", "Jam", "jam/foo", 'J'},
};

void PrintTo(const Format& format, std::ostream* out) { *out << format.name; }

const char kPid[] = "\x01PID: Tolvex 2.2Beta\r";

std::string Repeat(const std::string& line, int count) {
  std::string text;
  for (int i = 0; i < count; ++i) text += line;
  return text;
}

class EncodeTest : public ::testing::TestWithParam<Format> {
 protected:
  EncodeTest() {
    dir_.MakeDirectory("msg");
    dir_.MakeDirectory("sq");
    dir_.MakeDirectory("jam");
    WriteAreas("");
    WriteConfig("");
  }

  void SetUp() override {
    if (format().id_letter == 'J' && NewJamArea("x") == nullptr) {
      GTEST_SKIP() << "the JAM format is not built in";
    }
  }

  const Format& format() const { return GetParam(); }
  std::string BasePath() const { return dir_.Join(format().base); }
  std::string AreaId() const {
    return std::string(1, format().id_letter) + BasePath();
  }

  // The areas file: FOO of the format under test (with an aka and a
  // description), BARE without either, NET a netmail area, LOC a local
  // one.
  void WriteAreas(const std::string& extra) {
    std::string type = format().type_word;
    dir_.WriteFile(
        "areas.cfg",
        "# areas\r\n"
        "EchoArea FOO " + BasePath() + " -b " + type +
            " -a 2:5020/1.5 -d \"Foo talk\" 2:5020/1\r\n"
            "EchoArea BARE " + dir_.Join("bare") + " -b " + type + "\r\n"
            "NetmailArea NET " + dir_.Join("net") + " -b " + type +
            " -a 2:5020/1.5\r\n"
            "LocalArea LOC " + dir_.Join("loc") + " -b " + type + "\r\n" +
            extra);
  }

  void WriteConfig(const std::string& extra) {
    dir_.WriteFile("Kavel.cfg",
                   "HPTPATH areas.cfg\r\n"
                   "FROM \"John Doe\"\r\n"
                   "TO All of you\r\n"
                   "SUBJ News of the week\r\n"
                   "TOADDR 2:5020/9.3\r\n"
                   "ORIGIN \"The  Origin\"\r\n"
                   "TEARLINE tear\r\n" +
                       extra);
  }

  // Runs kavel and answers the messages of its console lines; checks that
  // the log file got the same lines.
  std::vector<std::string> Encode(const std::vector<std::string>& args) {
    RunResult run = dir_.Run(args);
    EXPECT_EQ(run.exit_code, 0);
    EXPECT_EQ(run.err, "");
    std::vector<std::string> console = Lines(run.out);
    std::string log = dir_.ReadFile("Kavel.log");
    std::string expected_log;
    for (const std::string& line : console) {
      if (line != "Made new log file") expected_log += line + "\r\n";
    }
    EXPECT_EQ(log, expected_log);
    dir_.WriteFile("Kavel.log", "");
    return MessagesOf(console);
  }

  std::vector<PostedMessage> Stored(const std::string& area_id) {
    return ReadPostedMessages(area_id);
  }

  RunDirectory dir_;
};

// Everything after "--- ": the lines every posted message ends with.
std::string Trailer(bool blank_line) {
  return std::string(blank_line ? "\r" : "") +
         "--- tear\r"
         " * Origin: The  Origin (2:5020/1.5)\r";
}

TEST_P(EncodeTest, OneSectionWithFramingLinesAsKludges) {
  WriteConfig(
      "USEENCODEDMESSAGE yes\r\n"
      "USEENCODEDSTRINGS yes\r\n");
  std::string line(50, 'a');
  dir_.WriteFile("news.txt", Repeat(line + "\r\n", 10));

  std::vector<std::string> console = Encode({"/ENCODE", "news.txt", "foo"});
  EXPECT_EQ(console, (std::vector<std::string>{
                         "Kavel: started..",
                         "Loading common part of config file...",
                         " [+] -> Posting file news.txt",
                         " >> Posting news.txt to FOO // Foo talk",
                         " >> From: John Doe, 2:5020/1.5",
                         "  - Ok...",
                         "End..",
                         "",
                     }));

  std::vector<PostedMessage> messages = Stored(AreaId());
  ASSERT_EQ(messages.size(), 1u);
  const PostedMessage& m = messages[0];
  EXPECT_EQ(m.from, "John Doe");
  EXPECT_EQ(m.to, "All of you");
  EXPECT_EQ(m.subject, "News of the week");
  EXPECT_EQ(AddressToText(m.orig), "2:5020/1.5");
  EXPECT_EQ(m.attributes, kAttrLoc);
  ExpectPostingTime(m);
  EXPECT_EQ(m.text_after_msgid,
            std::string(kPid) + "\x01" "for decode use Kavel.exe /decode\r" +
                "\x01text.begin 1 of 1 of file news.txt\r" +
                Repeat(line + "\r", 10) + "\x01text.end\r" + Trailer(true));
  EXPECT_EQ(m.msgid_address, "2:5020/1.5");
}

TEST_P(EncodeTest, PlainFramingLinesAndDefaults) {
  // Without FROM, TO, SUBJ, ORIGIN, TEARLINE and without an aka.
  dir_.WriteFile("Kavel.cfg",
                 "HPTPATH areas.cfg\r\n"
                 "USEASKLUDGE no\r\n"
                 "BEGINSTRING [%/%] %\r\n"
                 "USEENCODEDSTRINGS yes\r\n");
  dir_.WriteFile("note.txt", "one\r\n...two\r\n");
  std::vector<std::string> console = Encode({"/encode", "NOTE.TXT", "bare"});
  EXPECT_EQ(console, (std::vector<std::string>{
                         "Kavel: started..",
                         "Loading common part of config file...",
                         " [+] -> Posting file note.txt",
                         " >> Posting note.txt to BARE",
                         " >> From: Sysop, 0:0/0",
                         "  - Ok...",
                         "End..",
                         "",
                     }));
  std::vector<PostedMessage> messages =
      Stored(std::string(1, format().id_letter) + dir_.Join("bare"));
  ASSERT_EQ(messages.size(), 1u);
  const PostedMessage& m = messages[0];
  EXPECT_EQ(m.from, "Sysop");
  EXPECT_EQ(m.to, "All");
  EXPECT_EQ(m.subject, "");
  EXPECT_EQ(m.msgid_address, "0:0/0");
  // The last file line begins with "..." but the end line follows it; the
  // rule looks at the file line, so no empty line.
  EXPECT_EQ(m.text_after_msgid,
            std::string(kPid) + "[1/1] note.txt\rone\r...two\rtext.end\r" +
                "--- \r * Origin: Autoposted message (0:0/0)\r");
}

TEST_P(EncodeTest, LastLineWithDotsHasNoEmptyLineBeforeTheTearLine) {
  dir_.WriteFile("a.txt", "first\r\n... to be continued\r\n");
  dir_.WriteFile("b.txt", "first\r\n.. not quite\r\n");
  Encode({"/ENCODE", "a.txt", "FOO"});
  Encode({"/ENCODE", "b.txt", "FOO"});
  std::vector<PostedMessage> messages = Stored(AreaId());
  ASSERT_EQ(messages.size(), 2u);
  EXPECT_EQ(messages[0].text_after_msgid,
            std::string(kPid) + "first\r... to be continued\r" +
                Trailer(false));
  EXPECT_EQ(messages[1].text_after_msgid,
            std::string(kPid) + "first\r.. not quite\r" + Trailer(true));
}

TEST_P(EncodeTest, FortyThousandBytesMakeThreeSections) {
  WriteConfig("USEENCODEDSTRINGS yes\r\n");
  // 500 lines of 78 characters and CR LF: 40000 bytes.
  std::string file;
  std::vector<std::string> lines;
  for (int i = 0; i < 500; ++i) {
    std::string line = std::to_string(1000 + i) + std::string(74, 'x');
    lines.push_back(line);
    file += line + "\r\n";
  }
  ASSERT_EQ(file.size(), 40000u);
  dir_.WriteFile("big.txt", file);

  std::vector<std::string> console = Encode({"/ENCODE", "big.txt", "FOO"});
  EXPECT_EQ(console, (std::vector<std::string>{
                         "Kavel: started..",
                         "Loading common part of config file...",
                         " [+] -> Posting file big.txt",
                         " >> Posting big.txt to FOO // Foo talk",
                         " >> From: John Doe, 2:5020/1.5",
                         "   -> [1/3]",
                         "   -> [2/3]",
                         "   -> [3/3]",
                         "  - Ok...",
                         "End..",
                         "",
                     }));
  std::vector<PostedMessage> messages = Stored(AreaId());
  ASSERT_EQ(messages.size(), 3u);
  // 205 lines (16400 counted bytes), 205, and the remaining 90.
  const int kSectionLines[] = {205, 205, 90};
  size_t next = 0;
  for (int part = 0; part < 3; ++part) {
    const PostedMessage& m = messages[part];
    const std::string number = std::to_string(part + 1);
    EXPECT_EQ(m.subject, std::string("[") + number + "/3] News of the week");
    std::string body;
    for (int i = 0; i < kSectionLines[part]; ++i) body += lines[next++] + "\r";
    EXPECT_EQ(m.text_after_msgid,
              std::string(kPid) + "\x01text.begin " + number +
                  " of 3 of file big.txt\r" + body +
                  "\x01text.end\r" + Trailer(true));
    ExpectPostingTime(m);
  }
  EXPECT_EQ(next, lines.size());
  EXPECT_NE(messages[0].msgid_serial, messages[1].msgid_serial);
  EXPECT_NE(messages[1].msgid_serial, messages[2].msgid_serial);
}

TEST_P(EncodeTest, LongLinesArePostedWhole) {
  std::string long_line(300, 'L');
  std::string huge_line(20000, 'H');
  dir_.WriteFile("long.txt", long_line + "\r\n" + huge_line + "\r\nend\r\n");
  std::vector<std::string> console = Encode({"/ENCODE", "long.txt", "FOO"});
  // The 20000-character line passes the limit: two sections.
  EXPECT_EQ(console[5], "   -> [1/2]");
  std::vector<PostedMessage> messages = Stored(AreaId());
  ASSERT_EQ(messages.size(), 2u);
  EXPECT_EQ(messages[0].text_after_msgid,
            std::string(kPid) + long_line + "\r" + huge_line + "\r" +
                Trailer(true));
  EXPECT_EQ(messages[1].text_after_msgid,
            std::string(kPid) + "end\r" + Trailer(true));
}

TEST_P(EncodeTest, EmptyFilePostsNothing) {
  dir_.WriteFile("empty.txt", "");
  std::vector<std::string> console = Encode({"/ENCODE", "empty.txt", "FOO"});
  EXPECT_EQ(console, (std::vector<std::string>{
                         "Kavel: started..",
                         "Loading common part of config file...",
                         " [+] -> Posting file empty.txt",
                         " >> Posting empty.txt to FOO // Foo talk",
                         " >> From: John Doe, 2:5020/1.5",
                         "  - Ok...",
                         "End..",
                         "",
                     }));
  EXPECT_TRUE(Stored(AreaId()).empty());
}

TEST_P(EncodeTest, MaskOfThreeFiles) {
  WriteConfig("USEENCODEDSTRINGS yes\r\nUSEENCODEDMESSAGE yes\r\n");
  dir_.WriteFile("out/one.txt", "1\r\n");
  dir_.WriteFile("out/two.txt", "2\r\n");
  dir_.WriteFile("out/three.txt", "3\r\n");
  dir_.WriteFile("out/other.dat", "x\r\n");
  std::vector<std::string> console =
      Encode({"/ENCODE", "out\\*.txt", "FOO"});
  ASSERT_EQ(console.size(), 16u);
  std::vector<std::string> names;
  for (int i = 0; i < 3; ++i) {
    const std::string& announce = console[2 + 4 * i];
    ASSERT_EQ(announce.rfind(" [+] -> Posting file OUT\\", 0), 0u) << announce;
    std::string name = announce.substr(25);
    names.push_back(name);
    EXPECT_EQ(console[3 + 4 * i],
              " >> Posting OUT\\" + name + " to FOO // Foo talk");
    EXPECT_EQ(console[4 + 4 * i], " >> From: John Doe, 2:5020/1.5");
    EXPECT_EQ(console[5 + 4 * i], "  - Ok...");
  }
  std::vector<std::string> sorted = names;
  std::sort(sorted.begin(), sorted.end());
  EXPECT_EQ(sorted,
            (std::vector<std::string>{"one.txt", "three.txt", "two.txt"}));

  std::vector<PostedMessage> messages = Stored(AreaId());
  ASSERT_EQ(messages.size(), 3u);
  for (int i = 0; i < 3; ++i) {
    std::string content = names[i] == "one.txt"   ? "1"
                          : names[i] == "two.txt" ? "2"
                                                  : "3";
    // Each file numbers its parts from 1; the framing texts got one ^A.
    EXPECT_EQ(messages[i].subject, "News of the week");
    EXPECT_EQ(messages[i].text_after_msgid,
              std::string(kPid) + "\x01" "for decode use Kavel.exe /decode\r" +
                  "\x01text.begin 1 of 1 of file " + names[i] + "\r" +
                  content + "\r\x01text.end\r" + Trailer(true));
  }
}

TEST_P(EncodeTest, BlanksInAFileNameBecomeUnderscoresInTheBeginLine) {
  WriteConfig("USEENCODEDSTRINGS yes\r\n");
  dir_.WriteFile("my news.txt", "x\r\n");
  std::vector<std::string> console = Encode({"/ENCODE", "my*", "FOO"});
  EXPECT_EQ(console[2], " [+] -> Posting file my news.txt");
  std::vector<PostedMessage> messages = Stored(AreaId());
  ASSERT_EQ(messages.size(), 1u);
  EXPECT_EQ(messages[0].text_after_msgid,
            std::string(kPid) + "\x01text.begin 1 of 1 of file my_news.txt\r" +
                "x\r\x01text.end\r" + Trailer(true));
}

TEST_P(EncodeTest, MissingFile) {
  std::vector<std::string> console = Encode({"/ENCODE", "nosuch.txt", "FOO"});
  EXPECT_EQ(console, (std::vector<std::string>{
                         "Kavel: started..",
                         "Loading common part of config file...",
                         "[err] Can't find file to post..",
                         "End..",
                         "",
                     }));
  EXPECT_FALSE(dir_.Exists(format().base));
}

TEST_P(EncodeTest, UnknownArea) {
  dir_.WriteFile("news.txt", "x\r\n");
  std::vector<std::string> console = Encode({"/ENCODE", "news.txt", "nope"});
  EXPECT_EQ(console, (std::vector<std::string>{
                         "Kavel: started..",
                         "Loading common part of config file...",
                         "Area NOPE not found... ",
                         " [+] -> Posting file news.txt",
                         "[err] Unable to open/create msgbase \"\"",
                         "[err] We can't make posting...",
                         "End..",
                         "",
                     }));
}

TEST_P(EncodeTest, CommandWithoutWords) {
  std::vector<std::string> console = Encode({"/ENCODE"});
  EXPECT_EQ(console, (std::vector<std::string>{
                         "Kavel: started..",
                         "Loading common part of config file...",
                         "Area /ENCODE not found... ",
                         "[err] Can't find file to post..",
                         "End..",
                         "",
                     }));
}

TEST_P(EncodeTest, DirectoryMatchedByTheMaskCannotBeOpened) {
  dir_.MakeDirectory("sub");
  std::vector<std::string> console = Encode({"/ENCODE", "sub", "FOO"});
  EXPECT_EQ(console, (std::vector<std::string>{
                         "Kavel: started..",
                         "Loading common part of config file...",
                         " [+] -> Posting file sub",
                         " >> Posting sub to FOO // Foo talk",
                         " >> From: John Doe, 2:5020/1.5",
                         "[err] Can't open file sub!..",
                         "[err] We can't make posting...",
                         "End..",
                         "",
                     }));
  EXPECT_TRUE(Stored(AreaId()).empty());
}

TEST_P(EncodeTest, BinaryFilesAreNotPosted) {
  dir_.WriteFile("data.bin", std::string("PK\x03\x04\0\0", 6));
  std::vector<std::string> console = Encode({"/ENCODE", "data.bin", "FOO"});
  EXPECT_EQ(console, (std::vector<std::string>{
                         "Kavel: started..",
                         "Loading common part of config file...",
                         " [+] -> Posting file data.bin",
                         " >> Posting data.bin to FOO // Foo talk",
                         " >> From: John Doe, 2:5020/1.5",
                         "[err] File \"data.bin\" is not a text file, not "
                         "posted",
                         "End..",
                         "",
                     }));
  EXPECT_TRUE(Stored(AreaId()).empty());

  // Through a mask, each match is tested: the text file is posted, the
  // binary one is not.
  dir_.WriteFile("data.txt", "text\r\n");
  console = Encode({"/ENCODE", "data.*", "FOO"});
  int refused = 0, posted = 0;
  for (const std::string& line : console) {
    if (line == "[err] File \"data.bin\" is not a text file, not posted") {
      ++refused;
    }
    if (line == "  - Ok...") ++posted;
  }
  EXPECT_EQ(refused, 1);
  EXPECT_EQ(posted, 1);
  std::vector<PostedMessage> messages = Stored(AreaId());
  ASSERT_EQ(messages.size(), 1u);
  EXPECT_EQ(messages[0].text_after_msgid,
            std::string(kPid) + "text\r" + Trailer(true));
}

TEST_P(EncodeTest, FlagsAreAppliedBesideLoc) {
  WriteConfig("FLAGS pvt k/s\r\n");
  dir_.WriteFile("news.txt", "x\r\n");
  Encode({"/ENCODE", "news.txt", "FOO"});
  std::vector<PostedMessage> messages = Stored(AreaId());
  ASSERT_EQ(messages.size(), 1u);
  // Every format stores Pvt and Loc; K/s where the format has the bit.
  EXPECT_EQ(messages[0].attributes & (kAttrPvt | kAttrLoc),
            kAttrPvt | kAttrLoc);
  EXPECT_EQ(messages[0].attributes & ~(kAttrPvt | kAttrLoc | kAttrKs), 0u);
}

TEST_P(EncodeTest, WhenSaysNotToday) {
  // The fake clock's date is 7 March 2001, a Wednesday.
  WriteConfig("WHEN WEEKLY 1 2\r\n");
  dir_.WriteFile("news.txt", "x\r\n");
  std::vector<std::string> console = Encode({"/ENCODE", "news.txt", "FOO"});
  EXPECT_EQ(console, (std::vector<std::string>{
                         "Kavel: started..",
                         "Loading common part of config file...",
                         "Posting is not scheduled for today, nothing posted",
                         "End..",
                         "",
                     }));
  EXPECT_FALSE(dir_.Exists(format().base));
  WriteConfig("WHEN WEEKLY 1 3\r\n");
  Encode({"/ENCODE", "news.txt", "FOO"});
  EXPECT_EQ(Stored(AreaId()).size(), 1u);
}

TEST_P(EncodeTest, NetmailCarriesTheDestination) {
  dir_.WriteFile("news.txt", "x\r\n");
  Encode({"/ENCODE", "news.txt", "NET"});
  std::vector<PostedMessage> messages =
      Stored(std::string(1, format().id_letter) + dir_.Join("net"));
  ASSERT_EQ(messages.size(), 1u);
  const PostedMessage& m = messages[0];
  EXPECT_EQ(AddressToText4D(m.orig), "2:5020/1.5");
  EXPECT_EQ(AddressToText4D(m.dest), "2:5020/9.3");
  // JAM keeps both addresses in its header subfields instead.
  if (format().id_letter == 'J') return;
  EXPECT_TRUE(m.HasKludge("\x01INTL 2:5020/9 2:5020/1")) << m.text;
  EXPECT_TRUE(m.HasKludge("\x01" "FMPT 5")) << m.text;
  EXPECT_TRUE(m.HasKludge("\x01TOPT 3")) << m.text;
}

TEST_P(EncodeTest, EchoAndLocalAreasCarryNoIntl) {
  dir_.WriteFile("news.txt", "x\r\n");
  Encode({"/ENCODE", "news.txt", "LOC"});
  std::vector<PostedMessage> messages =
      Stored(std::string(1, format().id_letter) + dir_.Join("loc"));
  ASSERT_EQ(messages.size(), 1u);
  EXPECT_FALSE(messages[0].HasKludge("\x01INTL"));
  EXPECT_EQ(messages[0].text_after_msgid,
            std::string(kPid) + "x\r\r--- tear\r * Origin: The  Origin "
                                "(0:0/0)\r");
}

TEST_P(EncodeTest, DecodingGivesTheFileBackUnchanged) {
  WriteConfig("USEENCODEDSTRINGS yes\r\nBASETEXTPATH " + dir_.Join("txt") +
              "\r\n");
  std::string file;
  for (int i = 0; i < 400; ++i) {
    file += "line " + std::to_string(i) + " " + std::string(i % 90, '=') +
            "\r\n";
  }
  file += std::string(300, 'L') + "\r\n" + std::string(20000, 'H') +
          "\r\n... last line\r\n";
  dir_.WriteFile("round.txt", file);
  Encode({"/ENCODE", "round.txt", "FOO"});
  ASSERT_GE(Stored(AreaId()).size(), 2u);
  RunResult run = dir_.Run({"/DECODE", "FOO"});
  std::string decoded;
  for (const auto& entry :
       std::filesystem::recursive_directory_iterator(dir_.Join("txt"))) {
    if (entry.is_regular_file() &&
        UpperText(entry.path().filename().string()) == "ROUND.TXT") {
      decoded = dir_.ReadFile(
          std::filesystem::relative(entry.path(), dir_.path()).string());
    }
  }
  EXPECT_TRUE(decoded == file) << run.out;
}

INSTANTIATE_TEST_SUITE_P(AllFormats, EncodeTest, ::testing::ValuesIn(kFormats),
                         [](const ::testing::TestParamInfo<Format>& info) {
                           return std::string(info.param.name);
                         });

}  // namespace
}  // namespace kavel::e2e
