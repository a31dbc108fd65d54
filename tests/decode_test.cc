// /DECODE and /ALL seen from outside: the real program decodes message bases
// that the tests build through the message-area interface (or copy from the
// interoperability corpus) in a fresh directory.
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <map>
#include <memory>
#include <set>
#include <string>
#include <thread>
#include <vector>

#include "msgbase/byte_stream.h"
#include "msgbase/date_time.h"
#include "msgbase/ftn_address.h"
#include "msgbase/message_area.h"
#include "platform/env.h"
#include "platform/platform.h"
#include "support/e2e.h"
#include "util/text.h"

namespace kavel::e2e {
namespace {

namespace fs = std::filesystem;

struct Message {
  std::vector<std::string> lines;
  DateTimeRecord written{21, 0, 0, 0, 7, 3, 2001};
  std::string from = "John Doe";
  std::string subject = "Files";
};

// A posted section as the poster frames it.
Message Section(int part, int total, const std::string& name,
                const std::vector<std::string>& body, bool kludge = false) {
  const std::string mark = kludge ? "\x01" : "";
  Message m;
  m.lines.push_back("\x01PID: test");
  m.lines.push_back(mark + "text.begin " + std::to_string(part) + " of " +
                    std::to_string(total) + " of file " + name);
  for (const std::string& line : body) m.lines.push_back(line);
  m.lines.push_back(mark + "text.end");
  m.lines.push_back("");
  m.lines.push_back("--- ");
  m.lines.push_back(" * Origin: test (2:5020/1)");
  return m;
}

// The base type words of a fidoconfig area line and the area id letters.
struct Format {
  const char* word;
  const char* letter;
};
const Format kFormats[] = {{"Msg", "M"}, {"Squish", "S"}, {"Jam", "J"}};

class DecodeTest : public ::testing::Test {
 protected:
  void SetUp() override { dir_.MakeDirectory("bases"); }

  // Writes Kavel.cfg: the areas file, then `lines`.
  void Config(const std::vector<std::string>& lines) {
    dir_.WriteConfig(lines);
  }

  // Adds an area line and answers the base path.
  std::string Area(const std::string& tag, const Format& format = kFormats[0]) {
    const std::string path = dir_.Join("bases/" + tag);
    areas_ += "EchoArea " + tag + " " + path + " -b " + format.word + "\n";
    dir_.WriteFile("areas", areas_);
    return path;
  }

  bool FormatBuiltIn(const Format& format) {
    std::unique_ptr<MessageArea> area;
    return CreateAreaObject(&area, std::string(format.letter) + dir_.Join("x"));
  }

  void Post(const std::string& path, const Message& m,
            const Format& format = kFormats[0]) {
    std::unique_ptr<MessageArea> area;
    ASSERT_TRUE(OpenOrCreateMessageArea(&area, format.letter + path))
        << path << " " << std::hex << lastAreaError;
    ASSERT_TRUE(area->AddMessage());
    area->SetOrigAddress(FtnAddress{2, 5020, 1, 0}, true);
    area->SetFromName(m.from);
    area->SetToName("All");
    area->SetSubject(m.subject);
    area->SetDateWritten(m.written);
    area->SetDateArrived(m.written);
    for (const std::string& line : m.lines) area->WriteLineRaw(line);
    ASSERT_TRUE(area->StoreMessage());
    area->ReleaseMessage();
    CloseMessageArea(&area);
    Env::Default()->ForgetPathCache();
  }

  std::string Decode(const std::string& tag) {
    RunResult run = dir_.Run({"/DECODE", tag});
    EXPECT_EQ(run.exit_code, 0);
    return run.out;
  }

  RunDirectory dir_;
  std::string areas_;
};

TEST_F(DecodeTest, SetsInAnyOrderKludgesAndMalformedLinesInEveryFormat) {
  for (const Format& format : kFormats) {
    SCOPED_TRACE(format.word);
    if (!FormatBuiltIn(format)) continue;
    const std::string tag = UpperText(std::string("AREA_") + format.word);
    const std::string base = Area(tag, format);
    Config({"BASETEXTPATH " + dir_.Join("txt")});
    Post(base, Section(2, 3, "a.txt", {"two", ""}), format);
    Message malformed = Section(1, 3, "a.txt", {"bad"});
    malformed.lines[1] = "text.begin x of 3 of file a.txt";
    Post(base, malformed, format);
    Post(base, Section(3, 3, "a.txt", {"three"}, /*kludge=*/true), format);
    Post(base, Section(1, 3, "a.txt", {"one", "\tone"}), format);
    Post(base, Section(1, 2, "b.txt", {"lonely"}), format);
    const std::string out = Decode(tag);
    EXPECT_EQ(dir_.ReadFile("txt/" + LowerText(tag) + "/a.txt"),
              "one\r\n\tone\r\ntwo\r\n\r\nthree\r\n")
        << out;
    EXPECT_FALSE(dir_.Exists("txt/" + LowerText(tag) + "/b.txt"));
    EXPECT_NE(out.find(" [+] -> Scaning area " + tag), std::string::npos);
    EXPECT_NE(out.find(" [ :( ] -> Not all sections was found.."),
              std::string::npos);
    EXPECT_EQ(out.find("[err]"), std::string::npos) << out;
  }
}

// Framing lines that a tosser keeps among the kludges come back ahead of
// the text: the section is then the text up to the posting's tail. A set
// without lines is never saved.
TEST_F(DecodeTest, FramingAmongLeadingKludgesAndSetsWithoutLines) {
  const std::string origin = " * Origin: test (2:5020/1)";
  const Message one{{"\x01PID: test", "\x01text.begin 1 of 2 of file relay.txt",
                     "\x01text.end", "one", "", "", "--- ", origin,
                     "SEEN-BY: 5020/1", "\x01PATH: 5020/1"}};
  const Message two{{"\x01PID: test", "\x01text.begin 2 of 2 of file relay.txt",
                     "\x01text.end", "\x01TZUTC: 0300", "--- two", "\x01X",
                     "...", "--- ", origin}};
  // Without a tear and origin line the section runs to the end.
  const Message bare{
      {"\x01text.begin 1 of 1 of file bare.txt", "\x01text.end", "bare", ""}};
  for (const Format& format : kFormats) {
    SCOPED_TRACE(format.word);
    if (!FormatBuiltIn(format)) continue;
    const std::string sub = LowerText(format.word);
    const std::string base = dir_.Join(
        "bases/" + sub + (sub == "msg" ? "/relay" : "/ru.linux.relay"));
    dir_.MakeDirectory("bases/" + sub);
    dir_.WriteFile("areas",
                   "EchoArea RELAY " + base + " -b " + format.word + "\n");
    Config({"BASETEXTPATH " + sub, "FILESBBSNAME files.bbs",
            "FILESBBSSAVINGSTRING @File"});
    Post(base, two, format);
    Post(base, Section(1, 1, "nil.txt", {}), format);
    Post(base, one, format);
    Post(base, bare, format);
    const std::string out = Decode("RELAY");
    EXPECT_EQ(dir_.ReadFile(sub + "/relay/relay.txt"),
              "one\r\n\r\n--- two\r\n...\r\n");
    EXPECT_NE(out.find("[err] NIL.TXT in area RELAY: its sections hold no "
                       "line, not saved"),
              std::string::npos)
        << out;
    EXPECT_EQ(dir_.ReadFile(sub + "/relay/bare.txt"), "bare\r\n\r\n");
    EXPECT_EQ(out.find("nil.txt'"), std::string::npos) << out;
    EXPECT_EQ(dir_.List(sub + "/relay"),
              (std::vector<std::string>{"bare.txt", "files.bbs", "relay.txt"}));
    EXPECT_EQ(dir_.ReadFile(sub + "/relay/files.bbs"),
              "relay.txt\r\nbare.txt\r\n");
  }
}

TEST_F(DecodeTest, IncompleteSetSavedWhenConfigured) {
  const std::string base = Area("INC");
  Config({"BASETEXTPATH txt", "SAVEIFNOTENOUGHSECTIONS yes"});
  Post(base, Section(3, 3, "c.txt", {"three"}));
  Post(base, Section(1, 3, "c.txt", {"one"}));
  Decode("inc");
  EXPECT_EQ(dir_.ReadFile("txt/inc/c.txt"), "one\r\nthree\r\n");
}

TEST_F(DecodeTest, ExistingFileChoicesInEitherCase) {
  struct Case {
    const char* value;
    const char* same;  // X.TXT afterwards
    bool numbered;     // x1.txt and x2.txt written
  } cases[] = {{"R", "second\r\n", false},
               {"U", "second\r\n", false},
               {"K", "old", false},
               {"keep", "old", false},
               {"N", "old", true},
               {"new", "old", true},
               {"something", "second\r\n", false}};
  const std::string base = Area("TWICE");
  Post(base, Section(1, 1, "x.txt", {"first"}));
  Post(base, Section(1, 1, "x.txt", {"second"}));
  for (const Case& c : cases) {
    SCOPED_TRACE(c.value);
    fs::remove_all(dir_.Join("txt"));
    // Written by another program in upper case: still the file to keep,
    // overwrite or number around.
    dir_.WriteFile("txt/TWICE/X.TXT", "old");
    Config({"BASETEXTPATH txt", std::string("WHATDOWITHEXISTFILE ") + c.value,
            "FILESBBSNAME FILES.BBS", "FILESBBSSAVINGSTRING @File"});
    Decode("TWICE");
    EXPECT_EQ(dir_.ReadFile("txt/TWICE/X.TXT"), c.same);
    if (c.numbered) {
      EXPECT_EQ(dir_.ReadFile("txt/TWICE/x1.txt"), "first\r\n");
      EXPECT_EQ(dir_.ReadFile("txt/TWICE/x2.txt"), "second\r\n");
      EXPECT_EQ(dir_.ReadFile("txt/TWICE/FILES.BBS"), "x1.txt\r\nx2.txt\r\n");
    } else {
      EXPECT_EQ(dir_.List("txt/TWICE"), std::vector<std::string>{"X.TXT"});
    }
  }
}

TEST_F(DecodeTest, TwoRunsAtOnceKeepEveryFileListLineAndLogLine) {
  const std::string base = Area("BOTH");
  for (int i = 0; i < 200; ++i) {
    const std::string n = std::to_string(i);
    Post(base, Section(1, 1, "f" + n + ".txt", {"file " + n}));
  }
  Config({"BASETEXTPATH txt", "WHATDOWITHEXISTFILE N", "FILESBBSNAME files.bbs",
          "FILESBBSSAVINGSTRING @File"});
  // Repeated so that the two runs surely meet on the same names.
  for (int round = 0; round < 8 && !HasFailure(); ++round) {
    fs::remove_all(dir_.Join("txt"));
    fs::remove(dir_.Join("Kavel.log"));
    RunResult a, b;
    std::thread run_a([&] { a = dir_.Run({"/ALL"}); });
    b = dir_.Run({"/ALL"});
    run_a.join();
    // Every set under two names, each name listed once, every dated line
    // that either run printed in the log.
    std::map<std::string, int> copies;
    std::vector<std::string> saved = dir_.List("txt/both"), listed;
    saved.erase(std::find(saved.begin(), saved.end(), "files.bbs"));
    for (const std::string& name : saved)
      ++copies[dir_.ReadFile("txt/both/" + name)];
    for (const std::string& line : Lines(dir_.ReadFile("txt/both/files.bbs"))) {
      listed.push_back(line.substr(0, line.size() - 1));
    }
    std::sort(listed.begin(), listed.end());
    std::multiset<std::string> printed, logged;
    for (const std::string& line : Lines(a.out + b.out)) {
      if (line.size() > 19 && line[0] == ' ') printed.insert(line + "\r");
    }
    for (const std::string& line : Lines(dir_.ReadFile("Kavel.log"))) {
      if (line.size() > 1) logged.insert(line);
    }
    EXPECT_EQ(copies.size(), 200u) << "round " << round;
    for (const auto& [text, count] : copies) EXPECT_EQ(count, 2) << text;
    EXPECT_EQ(listed, saved);
    EXPECT_EQ(printed.size(), logged.size());
    EXPECT_TRUE(printed == logged);
  }
}

// A name that recoding by the CHRS kludge would turn into a path keeps its
// bytes: UTF-7 spells "/" as "+AC8-".
TEST_F(DecodeTest, RecodedNamesStayPlainFileNames) {
  const std::string base = Area("RECODE");
  Config({"BASETEXTPATH txt", "LOCALCHARSET UTF-8"});
  Message m = Section(1, 1, "x+AC8-evil.txt", {"text"});
  m.lines.insert(m.lines.begin() + 1, "\x01" "CHRS: UTF-7 0");
  Post(base, m);
  Decode("RECODE");
  EXPECT_EQ(dir_.FilesBelow("txt"),
            std::vector<std::string>{"txt/recode/x+ac8-evil.txt"});
}

TEST_F(DecodeTest, EmptyBasePathSavesInRunDirectoryButNeverOwnFiles) {
  const std::string base = Area("HERE");
  Config({"USETEXTSUBDIR yes", "FILESBBSNAME files.bbs"});
  const std::string config = dir_.ReadFile("Kavel.cfg");
  Post(base, Section(1, 1, "kavel.cfg", {"BASETEXTPATH /"}));
  Post(base, Section(1, 1, "KAVEL.LOG", {"x"}));
  Post(base, Section(1, 1, "areas", {"x"}));
  Post(base, Section(1, 1, "FILES.BBS", {"x"}));
  Post(base, Section(1, 1, "KAVEL.SEQ", {"x"}));
  Post(base, Section(1, 1, "readme", {"fine"}));
  const std::string out = Decode("HERE");
  EXPECT_EQ(dir_.ReadFile("Kavel.cfg"), config);
  EXPECT_EQ(dir_.ReadFile("readme"), "fine\r\n");
  EXPECT_EQ(dir_.ReadFile("areas").find("EchoArea HERE"), 0u);
  EXPECT_NE(dir_.ReadFile("Kavel.log").find("Kavel: started.."),
            std::string::npos);
  EXPECT_FALSE(dir_.Exists("kavel.seq"));
  // One line in the list, for readme; five refusals.
  EXPECT_EQ(dir_.ReadFile("files.bbs").find("readme"), 0u);
  size_t refusals = 0;
  for (const std::string& line : Lines(out)) {
    refusals += line.find("[err] Refused to write") != std::string::npos;
  }
  EXPECT_EQ(refusals, 5u);
}

TEST_F(DecodeTest, AllDecodesEveryAreaIntoItsOwnSubdirectory) {
  const std::string one = Area("ONE");
  areas_ += "EchoArea MISSING " + dir_.Join("bases/none") + " -b Msg\n";
  const std::string bad = Area("BAD:TAG");
  const std::string two = Area("TWO");
  Config({"BASETEXTPATH " + dir_.Join("txt") + "\\", "BASEFWDPATH fwd",
          "FORWARDMARKER FORWARDED"});
  Post(one, Section(1, 1, "f.txt", {"from one"}));
  Post(bad, Section(1, 1, "f.txt", {"from bad"}));
  Post(two, Section(1, 1, "f.txt", {"from two"}));
  Post(two, Message{{"forwarded:", "", "fwd of two"}});
  RunResult run = dir_.Run({"/ALL"});
  EXPECT_EQ(dir_.ReadFile("txt/one/f.txt"), "from one\r\n");
  EXPECT_EQ(dir_.ReadFile("txt/two/f.txt"), "from two\r\n");
  EXPECT_EQ(dir_.ReadFile("fwd/two/fwd.txt"), "fwd of two\r\n");
  EXPECT_EQ(dir_.List("txt"), (std::vector<std::string>{"one", "two"}));
  EXPECT_NE(run.out.find("Unable to open message base"), std::string::npos);
  EXPECT_NE(run.out.find("[err] Area tag BAD:TAG"), std::string::npos);
}

TEST_F(DecodeTest, AllWithoutAreasFile) {
  dir_.WriteFile("Kavel.cfg", "BASETEXTPATH txt\r\n");
  RunResult run = dir_.Run({"/ALL"});
  EXPECT_NE(run.out.find("Unable to open areas configuration file"),
            std::string::npos);
}

TEST_F(DecodeTest, BeginLineNamesNeverLeaveTheTextBase) {
  const std::string base = Area("EVIL");
  dir_.MakeDirectory("cdrive");
  dir_.SetEnv("KAVEL_DRIVE_C", dir_.Join("cdrive"));
  Config({"BASETEXTPATH txt", "BASEFWDPATH fwd"});
  for (const char* name :
       {"..\\..\\x", "/etc/x", "C:\\x", "a/../../x", "..", "a\\b"}) {
    Post(base, Section(1, 1, name, {"evil"}));
  }
  const std::vector<std::string> before = dir_.FilesBelow();
  const std::string out = Decode("EVIL");
  std::vector<std::string> after = dir_.FilesBelow();
  after.erase(std::remove(after.begin(), after.end(), "Kavel.log"),
              after.end());
  EXPECT_EQ(after, before);
  EXPECT_FALSE(fs::exists("/etc/x"));
  EXPECT_TRUE(dir_.List("cdrive").empty());
  EXPECT_NE(out.find("Unsafe file name '..\\..\\X' in message"),
            std::string::npos);
}

TEST_F(DecodeTest, ForwardsNumberedWithHeaderScanAndFileList) {
  const std::string base = Area("FWDS");
  Config({"BASEFWDPATH fwd", "FORWARDMARKER FORWARDED End of forward",
          "CHECKFOREMPTYLINE yes",
          "FORWARDFROM From:", "FORWARDSUBJ Subj:", "FILESBBSNAME FILES.BBS",
          "FILESBBSSAVINGSTRING \"@File|@FromName|@Subject|@Size\""});
  dir_.WriteFile("fwd/FWDS/FWD.TXT", "taken");  // another program's spelling
  Post(base, Message{{"Hi", "* Forwarded by Bob", "From: Jane Roe",
                      "Subj: news", "", "body", "end of forward", "tail"}});
  Post(base, Message{{"forwarded again", "no header", "x"}});
  Decode("FWDS");
  EXPECT_EQ(dir_.ReadFile("fwd/FWDS/FWD.TXT"), "taken");
  EXPECT_EQ(dir_.ReadFile("fwd/FWDS/fwd1.txt"), "body\r\n");
  // No empty line: the whole rest of the message is header.
  EXPECT_EQ(dir_.ReadFile("fwd/FWDS/fwd2.txt"), "");
  EXPECT_EQ(dir_.ReadFile("fwd/FWDS/FILES.BBS"),
            "fwd1.txt|Jane Roe|news|6\r\nfwd2.txt|John Doe|Files|0\r\n");

  Config({"BASEFWDPATH fwd", "FORWARDMARKER FORWARDED", "CHECKFOREMPTYLINE no",
          "USEFWDSUBDIR no", "FILESBBSNAME FILES.BBS", "REWRITEFILESBBS yes",
          "FILESBBSSAVINGSTRING @File"});
  Decode("FWDS");
  // Without end text the key-only marker ends at the next line holding it.
  EXPECT_EQ(dir_.ReadFile("fwd/fwd.txt"),
            "From: Jane Roe\r\nSubj: news\r\n\r\nbody\r\nend of forward\r\n"
            "tail\r\n");
  EXPECT_EQ(dir_.ReadFile("fwd/fwd1.txt"), "no header\r\nx\r\n");
  EXPECT_EQ(dir_.ReadFile("fwd/FILES.BBS"), "fwd1.txt\r\n");
}

TEST_F(DecodeTest, FileListTokensWidthsAlignmentAndLineBreak) {
  const std::string base = Area("LIST");
  Config({"BASETEXTPATH txt", "FILESBBSNAME files.bbs",
          "FILESBBSSAVINGSTRING \"@File(12,L)|@Size(5)|@FromName(10,C)|"
          "@ToName|@FromAddr|@ToAddr|@Subject|@DateWritten @TimeWritten|"
          "@DateArrived@Space@TimeArrived\\n@file(3,l)\""});
  Message m = Section(1, 1, "list.txt", {"12345678"});
  m.from = "Bob";
  m.subject = "Sub\x01j @Size";
  m.written = DateTimeRecord{9, 5, 4, 0, 8, 2, 2001};
  Post(base, m);
  Decode("LIST");
  EXPECT_EQ(dir_.ReadFile("txt/list/files.bbs"),
            "list.txt    |   10|   Bob    |All|2:5020/1|0:0/0.0|Sub j @Size|"
            "2001/02/08 09:05:04.00|2001/02/08 09:05:04.00\r\nlist.txt\r\n");
}

TEST_F(DecodeTest, HelloFromEveryCorpusArea) {
  if (!CorpusAvailable()) GTEST_SKIP() << "no corpus";
  const std::string hello =
      "Line one of HELLO.TXT\r\nLine two of HELLO.TXT\r\n"
      "Line three of HELLO.TXT\r\n"
      "\x91\xE2\xE0\xAE\xAA\xA0 \xE7\xA5\xE2\xEB\xE0\xA5: "
      "\xAF\xAE-\xE0\xE3\xE1\xE1\xAA\xA8\r\n";
  struct Source {
    const char* corpus;  // directory in the corpus
    const char* path;    // base path below it
    Format format;
  } sources[] = {{"msg", "msg/echo", kFormats[0]},
                 {"squish", "squish/echo", kFormats[1]},
                 {"jam", "jam/echo", kFormats[2]},
                 {"jam-smapi", "jam-smapi/echo", kFormats[2]}};
  for (const Source& s : sources) {
    SCOPED_TRACE(s.corpus);
    if (!FormatBuiltIn(s.format)) continue;
    RunDirectory dir;
    dir.CopyFromCorpus(s.corpus, s.corpus);
    dir.WriteFile("areas", std::string("EchoArea RU.KAVEL.TEST ") +
                               dir.Join(s.path) + " -b " + s.format.word +
                               "\n");
    dir.WriteFile("Kavel.cfg",
                  "HPTPATH " + dir.Join("areas") + "\r\nBASETEXTPATH txt\r\n");
    RunResult run = dir.Run({"/DECODE", "RU.KAVEL.TEST"});
    EXPECT_EQ(dir.ReadFile("txt/ru.kavel.test/hello.txt"), hello) << run.out;
  }
}

}  // namespace
}  // namespace kavel::e2e
