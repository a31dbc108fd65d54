// /ENCODE seen from outside: the real program posts files into a *.MSG area
// named in a fidoconfig areas file (the layout is the same for every
// format; the round trips cover the others); the stored messages are read
// back through the message-area interface.
#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

#include "msgbase/date_time.h"
#include "msgbase/ftn_address.h"
#include "msgbase/message_area.h"
#include "support/e2e.h"
#include "support/posted_messages.h"

namespace kavel::e2e {
namespace {

const char kPid[] = "\x01PID: Tolvex 2.2Beta\r";
const char kTrailer[] = "\r--- tear\r * Origin: The  Origin (2:5020/1.5)\r";
using Strings = std::vector<std::string>;

class EncodeTest : public ::testing::Test {
 protected:
  // FOO has an aka and a description, BARE neither; NET is netmail, LOC
  // local.
  EncodeTest() {
    dir_.WriteFile("areas.cfg",
                   "EchoArea FOO foo -a 2:5020/1.5 -d \"Foo talk\" 2:5020/1 -b "
                   "Msg\r\nEchoArea BARE bare -b Msg\r\nNetmailArea NET net "
                   "-a 2:5020/1.5 -b Msg\r\nLocalArea LOC loc -b Msg\r\n");
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
  Strings Encode(const Strings& args) {
    RunResult run = dir_.Run(args);
    EXPECT_EQ(run.exit_code, 0);
    EXPECT_EQ(run.err, "");
    Strings console = Lines(run.out);
    std::string expected_log;
    for (const std::string& line : console) {
      if (line != "Made new log file") expected_log += line + "\r\n";
    }
    EXPECT_EQ(dir_.ReadFile("Kavel.log"), expected_log);
    dir_.WriteFile("Kavel.log", "");
    return MessagesOf(console);
  }

  std::vector<PostedMessage> Stored(const std::string& base = "foo") {
    return ReadPostedMessages(std::string("M").append(dir_.Join(base)));
  }

  RunDirectory dir_;
};

TEST_F(EncodeTest, FortyThousandBytesMakeThreeSections) {
  WriteConfig("USEENCODEDMESSAGE yes\r\nUSEENCODEDSTRINGS yes\r\n");
  // 500 lines of 78 characters and CR LF: 40000 bytes.
  std::string file;
  Strings lines;
  for (int i = 0; i < 500; ++i) {
    lines.push_back(std::to_string(1000 + i) + std::string(74, 'x'));
    file += lines.back() + "\r\n";
  }
  dir_.WriteFile("big.txt", file);
  EXPECT_EQ(
      Encode({"/ENCODE", "big.txt", "FOO"}),
      (Strings{"Kavel: started..", "Loading common part of config file...",
               " [+] -> Posting file big.txt",
               " >> Posting big.txt to FOO // Foo talk",
               " >> From: John Doe, 2:5020/1.5", "   -> [1/3]", "   -> [2/3]",
               "   -> [3/3]", "  - Ok...", "End..", ""}));
  std::vector<PostedMessage> messages = Stored();
  ASSERT_EQ(messages.size(), 3u);
  // 205 lines (16400 counted bytes), 205, and the remaining 90.
  const int kSectionLines[] = {205, 205, 90};
  size_t next = 0;
  for (int part = 0; part < 3; ++part) {
    const PostedMessage& m = messages[part];
    const std::string number = std::to_string(part + 1);
    EXPECT_EQ(m.from + "|" + m.to + "|" + m.subject + "|" +
                  AddressToText(m.orig) + "|" + m.msgid_address,
              "John Doe|All of you|[" + number +
                  "/3] News of the week|2:5020/1.5|2:5020/1.5");
    EXPECT_EQ(m.attributes, kAttrLoc);
    std::string body;
    for (int i = 0; i < kSectionLines[part]; ++i) body += lines[next++] + "\r";
    EXPECT_EQ(m.text_after_msgid, std::string(kPid) +
                                      "\x01"
                                      "for decode use Kavel.exe /decode\r" +
                                      "\x01text.begin " + number +
                                      " of 3 of file big.txt\r" + body +
                                      "\x01text.end\r" + kTrailer);
    // The fake clock's time (two-second resolution rounds down), arrived
    // when written.
    DateTimeRecord arrived = m.arrived;
    arrived.hundredth = m.written.hundredth;
    EXPECT_EQ(arrived, m.written);
    EXPECT_EQ(m.written, (DateTimeRecord{21, 5, m.written.second,
                                         m.written.hundredth, 7, 3, 2001}));
    EXPECT_TRUE(m.written.second >= 8 && m.written.second <= 20);
  }
}

TEST_F(EncodeTest, PlainFramingLinesAndDefaults) {
  // Without FROM, TO, SUBJ, ORIGIN, TEARLINE and without an aka.
  dir_.WriteFile("Kavel.cfg",
                 "HPTPATH areas.cfg\r\nUSEASKLUDGE no\r\n"
                 "BEGINSTRING [%/%] %\r\nUSEENCODEDSTRINGS yes\r\n");
  dir_.WriteFile("note.txt", "one\r\n...two\r\n");
  const Strings console = Encode({"/encode", "NOTE.TXT", "bare"});
  EXPECT_EQ(console.at(3), " >> Posting note.txt to BARE");
  std::vector<PostedMessage> messages = Stored("bare");
  ASSERT_EQ(messages.size(), 1u);
  EXPECT_EQ(
      messages[0].from + "|" + messages[0].to + "|" + messages[0].msgid_address,
      "Sysop|All|0:0/0");
  // The rule about "..." looks at the file's last line, which the end line
  // follows here: no empty line.
  EXPECT_EQ(messages[0].text_after_msgid,
            std::string(kPid) + "[1/1] note.txt\rone\r...two\rtext.end\r" +
                "--- \r * Origin: Autoposted message (0:0/0)\r");
}

// Runs that post nothing or refuse a file: their console lines after the
// two start lines; a mask posts or refuses each match on its own.
TEST_F(EncodeTest, RefusalsEmptyPostingsAndMasks) {
  dir_.WriteFile("empty.txt", "");
  dir_.WriteFile("news.txt", "x\r\n");
  dir_.MakeDirectory("sub");
  const std::string foo =
      " >> Posting sub to FOO // Foo talk\n"
      " >> From: John Doe, 2:5020/1.5\n";
  const struct {
    const char* config;
    Strings args;
    std::string lines;  // joined by "\n"
  } cases[] = {
      // The fake clock's date is 7 March 2001, a Wednesday.
      {"WHEN WEEKLY 1 2\r\n",
       {"/ENCODE", "news.txt", "FOO"},
       "Posting is not scheduled for today, nothing posted"},
      {"", {"/ENCODE", "nosuch.txt", "FOO"}, "[err] Can't find file to post.."},
      {"",
       {"/ENCODE"},
       "Area /ENCODE not found... \n[err] Can't find file to post.."},
      {"",
       {"/ENCODE", "news.txt", "nope"},
       "Area NOPE not found... \n [+] -> Posting file news.txt\n[err] Unable "
       "to open/create msgbase \"\"\n[err] We can't make posting..."},
      {"",
       {"/ENCODE", "sub", "FOO"},
       " [+] -> Posting file sub\n" + foo +
           "[err] Can't open file sub!..\n[err] We can't make posting..."},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.args.back());
    WriteConfig(c.config);
    EXPECT_EQ(
        Encode(c.args),
        Lines("Kavel: started..\nLoading common part of config file...\n" +
              c.lines + "\nEnd..\n\n"));
  }
  // An empty file stores nothing.
  EXPECT_EQ(Encode({"/ENCODE", "empty.txt", "FOO"}).back(), "");
  EXPECT_TRUE(Stored().empty());
  dir_.WriteFile("out/one.txt", "1\r\n");
  dir_.WriteFile("out/two.txt", "2\r\n");
  dir_.WriteFile("out/data.bin", std::string("PK\0", 3));
  dir_.MakeDirectory("out/sub");  // a mask matches files, not directories
  Strings console = Encode({"/ENCODE", "out\\*", "FOO"});
  for (const std::string& line : console) {
    EXPECT_EQ(line.find("Can't open"), std::string::npos) << line;
  }
  EXPECT_EQ(std::count(console.begin(), console.end(),
                       "[err] File \"OUT\\data.bin\" is not a text file, not "
                       "posted"),
            1);
  EXPECT_EQ(std::count(console.begin(), console.end(), "  - Ok..."), 2);
  EXPECT_EQ(Stored().size(), 2u);
  // Named on its own, a text file is posted and a binary one refused.
  console = Encode({"/ENCODE", "out\\data.bin", "FOO"});
  EXPECT_EQ(std::count(console.begin(), console.end(),
                       "[err] File \"OUT\\data.bin\" is not a text file, not "
                       "posted"),
            1);
  console = Encode({"/ENCODE", "out\\one.txt", "FOO"});
  EXPECT_EQ(std::count(console.begin(), console.end(), "  - Ok..."), 1);
  EXPECT_EQ(Stored().size(), 3u);
}

// Attributes beside Loc; the addresses and INTL kludge of netmail, and
// none of them in a local area.
TEST_F(EncodeTest, AttributesAndAddressesByAreaKind) {
  WriteConfig("FLAGS pvt k/s\r\n");
  dir_.WriteFile("news.txt", "x\r\n");
  for (const char* area : {"NET", "LOC"}) Encode({"/ENCODE", "news.txt", area});
  std::vector<PostedMessage> net = Stored("net"), loc = Stored("loc");
  ASSERT_EQ(net.size(), 1u);
  ASSERT_EQ(loc.size(), 1u);
  EXPECT_EQ(net[0].attributes, kAttrPvt | kAttrLoc | kAttrKs);
  EXPECT_EQ(AddressToText4D(net[0].orig), "2:5020/1.5");
  EXPECT_EQ(AddressToText4D(net[0].dest), "2:5020/9.3");
  EXPECT_NE(net[0].text.find("\x01INTL 2:5020/9 2:5020/1\r"),
            std::string::npos);
  EXPECT_EQ(loc[0].text.find("\x01INTL"), std::string::npos);
  EXPECT_EQ(loc[0].text_after_msgid,
            std::string(kPid) +
                "x\r\r--- tear\r * Origin: The  Origin "
                "(0:0/0)\r");
}

}  // namespace
}  // namespace kavel::e2e
