// /ENCODE seen from outside: the real program posts files into *.MSG,
// Squish and JAM areas named in a fidoconfig areas file; the stored
// messages are read back through the message-area interface.
#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

#include "msgbase/byte_stream.h"
#include "msgbase/date_time.h"
#include "msgbase/formats/formats.h"
#include "msgbase/ftn_address.h"
#include "msgbase/message_area.h"
#include "msgbase/message_text.h"
#include "support/e2e.h"
#include "support/posted_messages.h"

namespace kavel::e2e {
namespace {

struct Format {
  const char* word;  // the -b word of the areas file
  char letter;       // area id letter
};
const Format kFormats[] = {{"Msg", 'M'}, {"Squish", 'S'}, {"Jam", 'J'}};
void PrintTo(const Format& format, std::ostream* out) { *out << format.word; }

const char kPid[] = "\x01PID: Tolvex 2.2Beta\r";

std::string Repeat(const std::string& line, int count) {
  std::string text;
  while (count-- > 0) text += line;
  return text;
}

class EncodeTest : public ::testing::TestWithParam<Format> {
 protected:
  // The areas file: FOO of the format under test (with an aka and a
  // description), BARE without either, NET a netmail area, LOC a local
  // one.
  EncodeTest() {
    std::string areas = "# areas\r\n";
    for (const char* line :
         {"EchoArea FOO foo -a 2:5020/1.5 -d \"Foo talk\" 2:5020/1",
          "EchoArea BARE bare", "NetmailArea NET net -a 2:5020/1.5",
          "LocalArea LOC loc"}) {
      areas += line + std::string(" -b ") + GetParam().word + "\r\n";
    }
    dir_.WriteFile("areas.cfg", areas);
    WriteConfig("");
  }

  void WriteConfig(const std::string& extra) {
    dir_.WriteFile("Kavel.cfg",
                   "HPTPATH areas.cfg\r\nFROM \"John Doe\"\r\n"
                   "TO All of you\r\nSUBJ News of the week\r\n"
                   "TOADDR 2:5020/9.3\r\nORIGIN \"The  Origin\"\r\n"
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
    std::string expected_log;
    for (const std::string& line : console) {
      if (line != "Made new log file") expected_log += line + "\r\n";
    }
    EXPECT_EQ(dir_.ReadFile("Kavel.log"), expected_log);
    dir_.WriteFile("Kavel.log", "");
    return MessagesOf(console);
  }

  // The messages of the area whose base is `base` (below the directory).
  std::vector<PostedMessage> Stored(const std::string& base = "foo") {
    return ReadPostedMessages(GetParam().letter + dir_.Join(base));
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

  std::vector<PostedMessage> messages = Stored();
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
  std::vector<PostedMessage> messages = Stored("bare");
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
  std::vector<PostedMessage> messages = Stored();
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
  std::vector<PostedMessage> messages = Stored();
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

TEST_P(EncodeTest, BlanksInAFileNameBecomeUnderscoresInTheBeginLine) {
  WriteConfig("USEENCODEDSTRINGS yes\r\n");
  dir_.WriteFile("my news.txt", "x\r\n");
  std::vector<std::string> console = Encode({"/ENCODE", "my*", "FOO"});
  EXPECT_EQ(console[2], " [+] -> Posting file my news.txt");
  std::vector<PostedMessage> messages = Stored();
  ASSERT_EQ(messages.size(), 1u);
  EXPECT_EQ(messages[0].text_after_msgid,
            std::string(kPid) + "\x01text.begin 1 of 1 of file my_news.txt\r" +
                "x\r\x01text.end\r" + Trailer(true));
}

// Transcripts of runs that post nothing or refuse a file; the layout is the
// same for every format, so one is enough.
TEST_P(EncodeTest, RefusalsAndEmptyPostings) {
  if (GetParam().letter != 'M') GTEST_SKIP() << "layout: one format";
  dir_.WriteFile("empty.txt", "");
  dir_.WriteFile("news.txt", "x\r\n");
  dir_.WriteFile("data.bin", std::string("PK\x03\x04\0\0", 6));
  dir_.MakeDirectory("sub");
  // The fake clock's date is 7 March 2001, a Wednesday.
  WriteConfig("WHEN WEEKLY 1 2\r\n");
  EXPECT_EQ(
      Encode({"/ENCODE", "news.txt", "FOO"}),
      (std::vector<std::string>{
          "Kavel: started..", "Loading common part of config file...",
          "Posting is not scheduled for today, nothing posted", "End..", ""}));
  EXPECT_FALSE(dir_.Exists("foo"));
  WriteConfig("WHEN WEEKLY 1 3\r\n");
  Encode({"/ENCODE", "news.txt", "FOO"});
  WriteConfig("");
  const std::vector<std::string> kStart = {
      "Kavel: started..", "Loading common part of config file..."};
  const std::vector<std::string> kFoo = {" >> Posting % to FOO // Foo talk",
                                         " >> From: John Doe, 2:5020/1.5"};
  struct Case {
    std::vector<std::string> args, lines;
  };
  const Case cases[] = {
      {{"/ENCODE", "empty.txt", "FOO"},
       {" [+] -> Posting file empty.txt", "", "", "  - Ok..."}},
      {{"/ENCODE", "nosuch.txt", "FOO"}, {"[err] Can't find file to post.."}},
      {{"/ENCODE"},
       {"Area /ENCODE not found... ", "[err] Can't find file to post.."}},
      {{"/ENCODE", "news.txt", "nope"},
       {"Area NOPE not found... ", " [+] -> Posting file news.txt",
        "[err] Unable to open/create msgbase \"\"",
        "[err] We can't make posting..."}},
      {{"/ENCODE", "sub", "FOO"},
       {" [+] -> Posting file sub", "", "", "[err] Can't open file sub!..",
        "[err] We can't make posting..."}},
      {{"/ENCODE", "data.bin", "FOO"},
       {" [+] -> Posting file data.bin", "", "",
        "[err] File \"data.bin\" is not a text file, not posted"}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.args.back());
    std::vector<std::string> expected = kStart;
    for (const std::string& line : c.lines) {
      if (!line.empty()) {
        expected.push_back(line);
        continue;
      }
      std::string foo = kFoo[expected.size() - 3];
      size_t at = foo.find('%');
      if (at != std::string::npos) foo.replace(at, 1, c.args[1]);
      expected.push_back(foo);
    }
    expected.insert(expected.end(), {"End..", ""});
    EXPECT_EQ(Encode(c.args), expected);
  }
  EXPECT_EQ(Stored().size(), 1u);  // the one of the WHEN rule
}

// A mask: each match is posted on its own (parts numbered from 1) or
// refused on its own.
TEST_P(EncodeTest, MaskPostsEachTextFile) {
  dir_.WriteFile("out/one.txt", "1\r\n");
  dir_.WriteFile("out/two.txt", "2\r\n");
  dir_.WriteFile("out/data.bin", std::string("PK\0", 3));
  std::vector<std::string> console = Encode({"/ENCODE", "out\\*", "FOO"});
  EXPECT_EQ(std::count(console.begin(), console.end(),
                       "[err] File \"OUT\\data.bin\" is not a text file, not "
                       "posted"),
            1);
  EXPECT_EQ(std::count(console.begin(), console.end(), "  - Ok..."), 2);
  std::vector<std::string> texts;
  for (const PostedMessage& m : Stored()) {
    texts.push_back(m.text_after_msgid);
  }
  std::sort(texts.begin(), texts.end());
  EXPECT_EQ(texts, (std::vector<std::string>{
                       std::string(kPid) + "1\r" + Trailer(true),
                       std::string(kPid) + "2\r" + Trailer(true)}));
}

// Attributes beside Loc; the addresses and kludges of netmail, and none of
// them in a local area.
TEST_P(EncodeTest, AttributesAndAddressesByAreaKind) {
  WriteConfig("FLAGS pvt k/s\r\n");
  dir_.WriteFile("news.txt", "x\r\n");
  for (const char* area : {"NET", "LOC"}) Encode({"/ENCODE", "news.txt", area});
  std::vector<PostedMessage> net = Stored("net"), loc = Stored("loc");
  ASSERT_EQ(net.size(), 1u);
  ASSERT_EQ(loc.size(), 1u);
  // Every format stores Pvt and Loc; K/s where the format has the bit.
  EXPECT_EQ(net[0].attributes & (kAttrPvt | kAttrLoc), kAttrPvt | kAttrLoc);
  EXPECT_EQ(net[0].attributes & ~(kAttrPvt | kAttrLoc | kAttrKs), 0u);
  EXPECT_EQ(AddressToText4D(net[0].orig), "2:5020/1.5");
  EXPECT_EQ(AddressToText4D(net[0].dest), "2:5020/9.3");
  EXPECT_FALSE(loc[0].HasKludge("\x01INTL"));
  EXPECT_EQ(loc[0].text_after_msgid,
            std::string(kPid) +
                "x\r\r--- tear\r * Origin: The  Origin "
                "(0:0/0)\r");
  // JAM keeps both addresses in its header subfields instead.
  if (GetParam().letter == 'J') return;
  EXPECT_TRUE(net[0].HasKludge("\x01INTL 2:5020/9 2:5020/1")) << net[0].text;
  EXPECT_TRUE(
      net[0].HasKludge("\x01"
                       "FMPT 5"))
      << net[0].text;
  EXPECT_TRUE(net[0].HasKludge("\x01TOPT 3")) << net[0].text;
}

INSTANTIATE_TEST_SUITE_P(AllFormats, EncodeTest, ::testing::ValuesIn(kFormats),
                         [](const auto& info) { return info.param.word; });

}  // namespace
}  // namespace kavel::e2e
