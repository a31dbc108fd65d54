// Two writers at once: two /ENCODE runs posting into the same area at the
// same moment, and another tool holding the base lock. Nothing may be lost:
// every message of both sides loads, the counts add up, and the decoder gives
// every posted file back unchanged.
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <map>
#include <set>
#include <string>
#include <thread>
#include <vector>

#include "msgbase/lock_holder_for_testing.h"
#include "support/e2e.h"
#include "support/posted_messages.h"

namespace kavel::e2e {
namespace {

// The -b word of the areas file; its first letter starts the area id.
class ConcurrentPostingTest : public ::testing::TestWithParam<const char*> {
 protected:
  void SetUp() override {
    dir_.MakeDirectory("base");
    dir_.WriteFile("areas.cfg", "EchoArea FOO " + BasePath() + " -b " +
                                    GetParam() + " 2:5020/9999\r\n");
    for (const std::string run : {"a", "b"}) {
      dir_.WriteFile(
          run + "/Kavel.cfg",
          "HPTPATH " + dir_.Join("areas.cfg") + "\r\nFROM \"Poster " + run +
              "\"\r\nSUBJ File " + run +
              "\r\nUSEENCODEDSTRINGS yes\r\nBASETEXTPATH " + dir_.Join("txt") +
              "\r\n" +
              // b takes its MSGID serials from a's default file.
              (run == "b" ? "MSGIDSEQUENCE " + dir_.Join("a/kavel.seq") + "\r\n"
                          : ""));
    }
  }

  bool Msg() const { return GetParam()[0] == 'M'; }
  std::string BasePath() const {
    return dir_.Join(Msg() ? "base/foo/" : "base/foo");
  }
  std::vector<PostedMessage> Stored() const {
    return ReadPostedMessages(GetParam()[0] + BasePath());
  }
  RunResult Post(char tag) const {
    const std::string run(1, tag);
    return dir_.RunIn(dir_.Join(run), {"/ENCODE", run + ".txt", "FOO"});
  }

  RunDirectory dir_;
};

TEST_P(ConcurrentPostingTest, TwoPostingsAtOnceKeepEveryMessage) {
  const std::string file_a = PostedFile('A', 45400);  // 200 sections
  const std::string file_b = PostedFile('B', 45400);
  dir_.WriteFile("a/a.txt", file_a);
  dir_.WriteFile("b/b.txt", file_b);
  RunResult run_a;
  std::thread poster_a([&] { run_a = Post('a'); });
  const RunResult run_b = Post('b');
  poster_a.join();
  EXPECT_EQ(run_a.exit_code, 0) << run_a.out;
  EXPECT_EQ(run_b.exit_code, 0) << run_b.out;
  // Every section of both, each numbered of 200.
  std::map<std::string, int> subjects;
  for (const PostedMessage& m : Stored()) {
    ++subjects[m.subject.substr(m.subject.find('/'))];
  }
  EXPECT_EQ(subjects, (std::map<std::string, int>{{"/200] File a", 200},
                                                  {"/200] File b", 200}}));
  // No two share a MSGID serial; the sequence file holds the largest.
  std::set<std::string> serials;
  for (const PostedMessage& m : Stored()) serials.insert(m.msgid_serial);
  EXPECT_EQ(serials.size(), 400u);
  EXPECT_FALSE(serials.count(""));
  EXPECT_EQ(dir_.ReadFile("a/kavel.seq"), *serials.rbegin() + "\r\n");
  RunResult decode = dir_.RunIn(dir_.Join("a"), {"/DECODE", "FOO"});
  EXPECT_TRUE(dir_.ReadFile("txt/foo/a.txt") == file_a) << decode.out;
  EXPECT_TRUE(dir_.ReadFile("txt/foo/b.txt") == file_b) << decode.out;
}

TEST_P(ConcurrentPostingTest, AHeldLockMakesThePostingFailWithItsLine) {
  if (Msg()) GTEST_SKIP() << "*.MSG has no base lock";
  dir_.WriteFile("a/a.txt", PostedFile('A', 300));
  ASSERT_EQ(Post('a').exit_code, 0);
  std::map<std::string, std::string> before;
  for (const std::string& file : dir_.FilesBelow("base"))
    before[file] = dir_.ReadFile(file);
  testing_support::LockHolder holder(dir_.path());
  ASSERT_TRUE(
      holder.Hold(BasePath() + (GetParam()[0] == 'S' ? ".sqd" : ".jhr")));
  dir_.SetEnv("KAVEL_LOCK_WAIT_MS", "200");
  RunResult refused = Post('a');
  EXPECT_NE(refused.out.find("Unable to write message"), std::string::npos)
      << refused.out;
  for (const auto& [file, bytes] : before) {
    EXPECT_TRUE(dir_.ReadFile(file) == bytes)
        << file << " changed while another writer held the lock";
  }
  holder.Release();
  RunResult accepted = Post('a');
  EXPECT_EQ(accepted.out.find("Unable"), std::string::npos) << accepted.out;
  EXPECT_EQ(Stored().size(), 4u);
}

TEST_P(ConcurrentPostingTest,
       AGarbledSequenceFileIsReportedOnceNothingRepeats) {
  dir_.WriteFile("a/kavel.seq", "not a serial\r\n");
  dir_.WriteFile("a/a.txt", PostedFile('A', 700));  // 4 sections
  const RunResult run = Post('a');
  const size_t at = run.out.find("Garbled MSGID sequence file");
  EXPECT_NE(at, std::string::npos) << run.out;
  EXPECT_EQ(run.out.find("Garbled", at + 1), std::string::npos) << run.out;
  std::set<std::string> serials;
  for (const PostedMessage& m : Stored()) serials.insert(m.msgid_serial);
  EXPECT_EQ(serials.size(), 4u);
  EXPECT_EQ(dir_.ReadFile("a/kavel.seq"), *serials.rbegin() + "\r\n");
}

INSTANTIATE_TEST_SUITE_P(AllFormats, ConcurrentPostingTest,
                         ::testing::Values("Msg", "Squish", "Jam"),
                         [](const auto& info) { return info.param; });

}  // namespace
}  // namespace kavel::e2e
