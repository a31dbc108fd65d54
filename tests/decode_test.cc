// /DECODE and /ALL seen from outside: the real program decodes message bases
// that the tests build through the message-area interface, in a fresh
// directory.
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <set>
#include <string>
#include <thread>
#include <vector>

#include "support/e2e.h"
#include "support/posted_messages.h"
#include "util/text.h"

namespace kavel::e2e {
namespace {

namespace fs = std::filesystem;
using Strings = std::vector<std::string>;

const char* const kFormats[] = {"Msg", "Squish", "Jam"};

class DecodeTest : public ::testing::Test {
 protected:
  std::string Decode(const std::string& tag) {
    RunResult run = dir_.Run({"/DECODE", tag});
    EXPECT_EQ(run.exit_code, 0);
    return run.out;
  }

  RunDirectory dir_;
};

// Framing lines that a tosser keeps among the kludges come back ahead of
// the text: the section is then the text up to the posting's tail. A set
// without lines is never saved.
TEST_F(DecodeTest, FramingAmongLeadingKludgesAndSetsWithoutLines) {
  const std::string origin = " * Origin: test (2:5020/1)";
  const TestMessage one{{"\x01PID: test",
                         "\x01text.begin 1 of 2 of file relay.txt",
                         "\x01text.end", "one", "", "", "--- ", origin,
                         "SEEN-BY: 5020/1", "\x01PATH: 5020/1"}};
  const TestMessage two{{"\x01PID: test",
                         "\x01text.begin 2 of 2 of file relay.txt",
                         "\x01text.end", "\x01TZUTC: 0300", "--- two", "\x01X",
                         "...", "--- ", origin}};
  // Without a tear and origin line the section runs to the end.
  const TestMessage bare{
      {"\x01text.begin 1 of 1 of file bare.txt", "\x01text.end", "bare", ""}};
  for (const char* format : kFormats) {
    SCOPED_TRACE(format);
    const std::string sub = LowerText(format);
    const std::string base = dir_.Join(
        "bases/" + sub + (sub == "msg" ? "/relay" : "/ru.linux.relay"));
    dir_.MakeDirectory("bases/" + sub);
    dir_.WriteFile("areas", "EchoArea RELAY " + base + " -b " + format + "\n");
    dir_.WriteConfig({"BASETEXTPATH " + sub});
    const std::string id = format[0] + base;
    for (const TestMessage& m : {two, Section(1, 1, "nil.txt", {}), one, bare})
      StoreMessage(id, m);
    const std::string out = Decode("RELAY");
    EXPECT_EQ(dir_.ReadFile(sub + "/relay/relay.txt"),
              "one\r\n\r\n--- two\r\n...\r\n");
    EXPECT_EQ(dir_.ReadFile(sub + "/relay/bare.txt"), "bare\r\n\r\n");
    EXPECT_NE(out.find("[err] NIL.TXT in area RELAY: its sections hold no "
                       "line, not saved"),
              std::string::npos)
        << out;
    EXPECT_EQ(dir_.List(sub + "/relay"), (Strings{"bare.txt", "relay.txt"}));
  }
}

// Two runs at once: every set saved under two names, each name listed
// once, every dated line that either run printed in the log.
TEST_F(DecodeTest, TwoRunsAtOnceKeepEveryFileListLineAndLogLine) {
  const std::string id = dir_.AddArea("BOTH", "Msg");
  for (int i = 0; i < 200; ++i) {
    const std::string n = std::to_string(i);
    StoreMessage(id, Section(1, 1, "f" + n + ".txt", {"file " + n}));
  }
  dir_.WriteConfig({"BASETEXTPATH txt", "WHATDOWITHEXISTFILE N",
                    "FILESBBSNAME files.bbs", "FILESBBSSAVINGSTRING @File"});
  // Repeated so that the two runs surely meet on the same names.
  for (int round = 0; round < 4 && !HasFailure(); ++round) {
    fs::remove_all(dir_.Join("txt"));
    fs::remove(dir_.Join("Kavel.log"));
    RunResult a, b;
    std::thread run_a([&] { a = dir_.Run({"/ALL"}); });
    b = dir_.Run({"/ALL"});
    run_a.join();
    std::multiset<std::string> copies, printed, logged;
    Strings saved = dir_.List("txt/both"), listed;
    saved.erase(std::find(saved.begin(), saved.end(), "files.bbs"));
    for (const std::string& name : saved)
      copies.insert(dir_.ReadFile("txt/both/" + name));
    for (const std::string& line : Lines(dir_.ReadFile("txt/both/files.bbs")))
      listed.push_back(line.substr(0, line.size() - 1));
    std::sort(listed.begin(), listed.end());
    for (const std::string& line : Lines(a.out + b.out))
      if (line.size() > 19 && line[0] == ' ') printed.insert(line + "\r");
    for (const std::string& line : Lines(dir_.ReadFile("Kavel.log")))
      if (line.size() > 1) logged.insert(line);
    EXPECT_EQ(saved.size(), 400u) << "round " << round;
    for (const std::string& text : copies) EXPECT_EQ(copies.count(text), 2u);
    EXPECT_EQ(listed, saved);
    EXPECT_TRUE(printed == logged);
  }
}

// Names from begin lines never leave the text base, recoded by the CHRS
// kludge or not (UTF-7 spells "/" as "+AC8-"), and never hit the
// program's own files when the base path is empty.
TEST_F(DecodeTest, BeginLineNamesStayInsideTheTextBase) {
  const std::string id = dir_.AddArea("EVIL", "Msg");
  dir_.MakeDirectory("cdrive");
  dir_.SetEnv("KAVEL_DRIVE_C", dir_.Join("cdrive"));
  dir_.WriteConfig({"BASETEXTPATH txt", "LOCALCHARSET UTF-8"});
  for (const char* name :
       {"..\\..\\x", "/etc/x", "C:\\x", "a/../../x", "..", "a\\b"}) {
    StoreMessage(id, Section(1, 1, name, {"evil"}));
  }
  TestMessage recoded = Section(1, 1, "x+AC8-evil.txt", {"text"});
  recoded.lines.insert(recoded.lines.begin() + 1,
                       "\x01"
                       "CHRS: UTF-7 0");
  StoreMessage(id, recoded);
  const Strings before = dir_.FilesBelow();
  const std::string out = Decode("EVIL");
  Strings after = dir_.FilesBelow();
  after.erase(std::remove(after.begin(), after.end(), "Kavel.log"),
              after.end());
  EXPECT_EQ(after.size(), before.size() + 1);
  EXPECT_TRUE(dir_.Exists("txt/evil/x+ac8-evil.txt"));
  EXPECT_FALSE(fs::exists("/etc/x"));
  EXPECT_TRUE(dir_.List("cdrive").empty());
  EXPECT_NE(out.find("Unsafe file name '..\\..\\X' in message"),
            std::string::npos);

  const std::string here = dir_.AddArea("HERE", "Msg");
  dir_.WriteConfig({"USETEXTSUBDIR yes", "FILESBBSNAME files.bbs"});
  const std::string config = dir_.ReadFile("Kavel.cfg");
  for (const char* name :
       {"kavel.cfg", "KAVEL.LOG", "areas", "FILES.BBS", "KAVEL.SEQ", "readme"})
    StoreMessage(here, Section(1, 1, name, {"x"}));
  const Strings lines = Lines(Decode("HERE"));
  EXPECT_EQ(dir_.ReadFile("Kavel.cfg"), config);
  EXPECT_EQ(dir_.ReadFile("readme"), "x\r\n");
  EXPECT_EQ(dir_.ReadFile("areas").find("EchoArea EVIL"), 0u);
  EXPECT_FALSE(dir_.Exists("kavel.seq"));
  EXPECT_EQ(dir_.ReadFile("files.bbs").find("readme"), 0u);
  int refused = 0;
  for (const std::string& line : lines)
    refused += line.find("[err] Refused to write") != std::string::npos;
  EXPECT_EQ(refused, 5);
}

TEST_F(DecodeTest, AllDecodesEveryAreaAndSavesForwards) {
  const std::string one = dir_.AddArea("ONE", "Msg");
  dir_.AddArea("MISSING", "Msg", dir_.Join("bases/none"));
  const std::string bad = dir_.AddArea("BAD:TAG", "Msg");
  const std::string two = dir_.AddArea("TWO", "Msg");
  dir_.WriteConfig(
      {"BASETEXTPATH " + dir_.Join("txt") + "\\", "BASEFWDPATH fwd",
       "FILESBBSNAME FILES.BBS", "FORWARDMARKER FORWARDED End of forward",
       "CHECKFOREMPTYLINE yes", "FORWARDFROM From:", "FORWARDSUBJ Subj:",
       "FILESBBSSAVINGSTRING \"@File|@FromName|@Subject\"",
       "WHATDOWITHEXISTFILE new"});
  // A directory and a file that another program wrote in upper case are
  // still the ones to keep and number around.
  dir_.WriteFile("txt/ONE/F.TXT", "old");
  StoreMessage(one, Section(1, 1, "f.txt", {"from one"}));
  StoreMessage(one, Section(1, 1, "f.txt", {"again"}));
  StoreMessage(bad, Section(1, 1, "f.txt", {"from bad"}));
  StoreMessage(two, Section(1, 1, "f.txt", {"from two"}));
  dir_.WriteFile("fwd/TWO/FWD.TXT", "taken");  // another program's spelling
  StoreMessage(two, {{"Hi", "* Forwarded by Bob", "From: Jane Roe",
                      "Subj: news", "", "body", "end of forward", "tail"}});
  // No empty line: the whole rest of the message is header.
  StoreMessage(two, {{"forwarded again", "no header", "x"}});
  RunResult run = dir_.Run({"/ALL"});
  EXPECT_EQ(dir_.List("txt/ONE"),
            (Strings{"F.TXT", "FILES.BBS", "f1.txt", "f2.txt"}));
  EXPECT_EQ(dir_.ReadFile("txt/ONE/f2.txt"), "again\r\n");
  EXPECT_EQ(dir_.ReadFile("txt/two/f.txt"), "from two\r\n");
  EXPECT_EQ(dir_.List("txt"), (Strings{"ONE", "two"}));
  EXPECT_EQ(dir_.ReadFile("fwd/TWO/FWD.TXT"), "taken");
  EXPECT_EQ(dir_.ReadFile("fwd/TWO/fwd1.txt"), "body\r\n");
  EXPECT_EQ(dir_.ReadFile("fwd/TWO/fwd2.txt"), "");
  EXPECT_EQ(dir_.ReadFile("fwd/TWO/FILES.BBS"),
            "fwd1.txt|Jane Roe|news\r\nfwd2.txt|John Doe|Files\r\n");
  EXPECT_NE(run.out.find("Unable to open message base"), std::string::npos);
  EXPECT_NE(run.out.find("[err] Area tag BAD:TAG"), std::string::npos);
}

}  // namespace
}  // namespace kavel::e2e
