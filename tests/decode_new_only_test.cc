// /ALL and /DECODE with DECODENEWONLY: every posted file and forward is
// saved once over many runs, whatever happens to the bases in between.
#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <vector>

#include "msgbase/lock_holder_for_testing.h"
#include "support/e2e.h"
#include "support/posted_messages.h"

namespace kavel::e2e {
namespace {

namespace fs = std::filesystem;

// "f" + std::to_string(i) without the operator that g++ 12 warns about.
std::string Cat(std::string a, const std::string& b) { return a += b; }

size_t Count(const std::string& text, const std::string& what) {
  size_t n = 0;
  for (size_t at = 0; (at = text.find(what, at)) != std::string::npos; ++at)
    ++n;
  return n;
}

class DecodeNewOnlyTest : public ::testing::Test {
 protected:
  void SetUp() override {
    dir_.WriteConfig({"BASETEXTPATH txt", "BASEFWDPATH fwd",
                      "FILESBBSNAME files.bbs", "FORWARDMARKER FORWARDED",
                      "DECODENEWONLY Yes", "LOCKWAIT 0"});
  }

  // Stores message `serial` (its MSGID) holding a section, or a forward
  // when `part` is 0.
  void Post(const std::string& id, int serial, int part, int total,
            const std::string& name) {
    TestMessage m;
    m.lines = {Cat("\x01MSGID: 2:5020/1 ", std::to_string(10000 + serial))};
    if (part == 0) {
      m.lines.insert(m.lines.end(), {"FORWARDED by Bob", ""});
    } else {
      m.lines.push_back(Cat("text.begin ", std::to_string(part)) + " of " +
                        std::to_string(total) + " of file " + name);
    }
    m.lines.push_back("body of " + name + " " + std::to_string(part));
    m.lines.push_back("text.end");
    StoreMessage(id, m);
  }

  std::string All() {
    const RunResult run = dir_.Run({"/ALL"});
    EXPECT_EQ(run.exit_code, 0);
    return run.out;
  }

  RunDirectory dir_;
};

TEST_F(DecodeNewOnlyTest, LaterRunsSaveOnlyWhatIsNew) {
  std::vector<std::string> ids;
  for (const std::string format : {"Msg", "Squish", "Jam"}) {
    ids.push_back(dir_.AddArea(Cat("A", format.substr(0, 1)), format));
    Post(ids.back(), 1, 1, 2, "whole.txt");
    Post(ids.back(), 2, 0, 0, "fwd");
    Post(ids.back(), 3, 2, 2, "whole.txt");
    Post(ids.back(), 4, 1, 2, "late.txt");
  }
  std::string out = All();
  EXPECT_EQ(Count(out, "Saving file"), 3u) << out;
  EXPECT_EQ(Count(out, "Saving forward"), 3u) << out;
  EXPECT_EQ(Count(out, "Not all sections was found"), 3u) << out;
  const std::string list = dir_.ReadFile("txt/am/files.bbs");
  fs::remove(dir_.Join("txt/as/whole.txt"));  // the sysop deleted it
  const auto mtime = fs::last_write_time(dir_.Join("txt/aj/whole.txt"));
  out = All();
  EXPECT_EQ(out.find("Saving"), std::string::npos) << out;
  EXPECT_EQ(out.find("Not all sections"), std::string::npos) << out;
  EXPECT_FALSE(dir_.Exists("txt/as/whole.txt"));
  EXPECT_EQ(dir_.ReadFile("txt/am/files.bbs"), list);
  EXPECT_EQ(fs::last_write_time(dir_.Join("txt/aj/whole.txt")), mtime);
  EXPECT_EQ(dir_.FilesBelow("fwd").size(), 6u);  // 3 forwards, 3 lists
  // The last section arrives: the set is saved on the next run, once, and
  // not by a run that finds the state held by another.
  for (const std::string& id : ids) Post(id, 5, 2, 2, "late.txt");
  testing_support::LockHolder holder(dir_.path());
  ASSERT_TRUE(holder.Hold(dir_.Join("kavel.state.lck")));
  out = All();
  EXPECT_NE(out.find("is locked by another run"), std::string::npos) << out;
  EXPECT_EQ(out.find("[err]"), std::string::npos) << out;
  EXPECT_FALSE(dir_.Exists("txt/aj/late.txt"));
  holder.Release();
  EXPECT_EQ(Count(All(), "Saving file"), 3u);
  EXPECT_EQ(dir_.ReadFile("txt/aj/late.txt"),
            "body of late.txt 1\r\nbody of late.txt 2\r\n");
  EXPECT_EQ(All().find("Saving"), std::string::npos);
}

// *.MSG renumbered after deleting 1 and 3: 2.MSG and 4.MSG become 1, 2.
TEST_F(DecodeNewOnlyTest, ARenumberedBaseSavesNothingTwice) {
  const std::string id = dir_.AddArea("MS", "Msg");
  for (int i = 1; i <= 4; ++i) Post(id, i, 1, 1, Cat("f", std::to_string(i)));
  EXPECT_EQ(Count(All(), "Saving file"), 4u);
  const std::string msg_dir = dir_.Join("bases/MS/");
  for (const char* gone : {"1", "3"}) fs::remove(msg_dir + gone + ".msg");
  fs::rename(msg_dir + "2.msg", msg_dir + "1.msg");
  fs::rename(msg_dir + "4.msg", msg_dir + "2.msg");
  Post(id, 9, 1, 1, "new");
  EXPECT_EQ(Count(All(), "Saving file"), 1u);
}

// A save that could not write, a set saved incomplete and a damaged state
// file: each is made good on a later run.
TEST_F(DecodeNewOnlyTest, FailedIncompleteAndDamagedAreMadeGoodLater) {
  dir_.WriteConfig({"BASETEXTPATH txt", "BASEFWDPATH fwd",
                    "FORWARDMARKER FORWARDED", "SAVEIFNOTENOUGHSECTIONS Yes",
                    "WHATDOWITHEXISTFILE New", "DECODENEWONLY Yes"});
  const std::string id = dir_.AddArea("RETRY", "Squish");
  Post(id, 1, 1, 1, "r.txt");
  Post(id, 2, 0, 0, "fwd");
  Post(id, 3, 1, 2, "x.txt");
  dir_.WriteFile("txt/retry", "a file where the directory belongs");
  dir_.WriteFile("fwd/retry", "the same");
  EXPECT_NE(All().find("[err]"), std::string::npos);
  fs::remove(dir_.Join("txt/retry"));
  fs::remove(dir_.Join("fwd/retry"));
  std::string out = All();
  EXPECT_EQ(Count(out, "Saving"), 3u) << out;
  EXPECT_EQ(out.find("[err]"), std::string::npos) << out;
  Post(id, 4, 2, 2, "x.txt");
  EXPECT_EQ(Count(All(), "Saving file 'txt\\retry\\x.txt'"), 1u);
  EXPECT_EQ(dir_.List("txt/retry"),
            (std::vector<std::string>{"r.txt", "x.txt"}));
  EXPECT_EQ(dir_.ReadFile("txt/retry/x.txt"),
            "body of x.txt 1\r\nbody of x.txt 2\r\n");
  // A damaged state file is reported once and written anew.
  const std::string state = dir_.ReadFile("kavel.state");
  dir_.WriteFile("kavel.state", state.substr(0, state.size() / 2));
  EXPECT_NE(All().find("[err] State file kavel.state is damaged"),
            std::string::npos);
  EXPECT_EQ(All().find("[err]"), std::string::npos);
}

}  // namespace
}  // namespace kavel::e2e
