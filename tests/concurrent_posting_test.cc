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
#include "support/traced_run.h"

namespace kavel::e2e {
namespace {

// A text file of `lines` lines of 72 bytes each, distinct per tag; about
// 227 lines make one section of a posting.
std::string PostedFile(char tag, int lines) {
  std::string text;
  for (int i = 0; i < lines; ++i) {
    std::string line = std::string(1, tag) + " line " + std::to_string(i) + " ";
    line.append(70 - line.size(), static_cast<char>('a' + i % 26));
    text += line + "\r\n";
  }
  return text;
}

// The -b word of the areas file; its first letter starts the area id.
class ConcurrentPostingTest : public ::testing::TestWithParam<const char*> {
 protected:
  void SetUp() override {
    dir_.MakeDirectory("base");
    dir_.WriteFile("areas.cfg", "EchoArea FOO " + BasePath() + " -b " +
                                    GetParam() + " 2:5020/9999\r\n");
    for (const std::string run : {"a", "b"}) {
      dir_.WriteFile(run + "/Kavel.cfg",
                     "HPTPATH " + dir_.Join("areas.cfg") +
                         "\r\nFROM \"Poster " + run + "\"\r\nSUBJ File " + run +
                         "\r\nUSEENCODEDSTRINGS yes\r\nBASETEXTPATH " +
                         dir_.Join("txt") + "\r\n");
    }
    // b takes its MSGID serials from a's default sequence file.
    dir_.WriteFile("b/Kavel.cfg", dir_.ReadFile("b/Kavel.cfg") +
                                      "MSGIDSEQUENCE " +
                                      dir_.Join("a/kavel.seq") + "\r\n");
  }

  bool Msg() const { return GetParam()[0] == 'M'; }
  std::string BasePath() const {
    return dir_.Join(Msg() ? "base/foo/" : "base/foo");
  }
  std::string LockedFile() const {
    return BasePath() + (GetParam()[0] == 'S' ? ".sqd" : ".jhr");
  }
  std::vector<PostedMessage> Stored() const {
    return ReadPostedMessages(GetParam()[0] + BasePath());
  }
  RunResult Post(char tag) const {
    const std::string run(1, tag);
    return dir_.RunIn(dir_.Join(run), {"/ENCODE", run + ".txt", "FOO"});
  }
  // Checks that no two stored messages share a MSGID serial and that the
  // sequence file holds the largest.
  void ExpectSerials() const {
    std::set<std::string> serials;
    const std::vector<PostedMessage> stored = Stored();
    for (const PostedMessage& m : stored) serials.insert(m.msgid_serial);
    EXPECT_EQ(serials.size(), stored.size());
    EXPECT_FALSE(serials.count(""));
    EXPECT_EQ(dir_.ReadFile("a/kavel.seq"), *serials.rbegin() + "\r\n");
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
  ExpectSerials();
  RunResult decode = dir_.RunIn(dir_.Join("a"), {"/DECODE", "FOO"});
  EXPECT_TRUE(dir_.ReadFile("txt/foo/a.txt") == file_a) << decode.out;
  EXPECT_TRUE(dir_.ReadFile("txt/foo/b.txt") == file_b) << decode.out;
}

// The sequence file is not the base's: one format is enough.
TEST_P(ConcurrentPostingTest, AGarbledSequenceFileIsReportedOnceAndRewritten) {
  if (!Msg()) GTEST_SKIP() << "one format";
  dir_.WriteFile("a/a.txt", PostedFile('A', 2270));
  dir_.WriteFile("a/kavel.seq", "not a serial\r\n");
  const std::string garbled = "[err] Garbled MSGID sequence file kavel.seq";
  const std::string first = Post('a').out;
  EXPECT_NE(first.find(garbled), std::string::npos) << first;
  EXPECT_EQ(first.find(garbled), first.rfind(garbled));
  EXPECT_EQ(Post('a').out.find(garbled), std::string::npos);
  EXPECT_EQ(Stored().size(), 20u);
  ExpectSerials();
}

TEST_P(ConcurrentPostingTest, AHeldLockMakesThePostingFailWithItsLine) {
  if (Msg()) GTEST_SKIP() << "*.MSG has no base lock";
  dir_.WriteFile("a/a.txt", PostedFile('A', 300));
  ASSERT_EQ(Post('a').exit_code, 0);
  std::map<std::string, std::string> before;
  for (const std::string& file : dir_.FilesBelow("base"))
    before[file] = dir_.ReadFile(file);
  testing_support::LockHolder holder(dir_.path());
  ASSERT_TRUE(holder.Hold(LockedFile()));
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

TEST_P(ConcurrentPostingTest, ALockTakenBetweenSectionsEndsThatFileOnly) {
  std::string reason;
  if (Msg()) GTEST_SKIP() << "*.MSG has no base lock";
  if (!TracingAvailable(&reason)) GTEST_SKIP() << reason;
  dir_.WriteFile("a/a.txt", PostedFile('C', 10));
  ASSERT_EQ(Post('a').exit_code, 0);  // the base exists from here on
  dir_.WriteFile("a/Kavel.cfg",
                 dir_.ReadFile("a/Kavel.cfg") + "LOCKWAIT 0\r\n");
  dir_.WriteFile("a/in/one.txt", PostedFile('A', 600));  // 3 sections each
  dir_.WriteFile("a/in/two.txt", PostedFile('B', 600));
  // Another tool takes the lock while the program logs "[2/3]" of the first
  // file (holding no lock then) and lets go at its next log line.
  testing_support::LockHolder holder(dir_.path());
  bool base_written = false, held = false;
  TracedResult run = RunTraced(
      dir_.Join("a"), {"/ENCODE", "in/*.txt", "FOO"}, dir_.path(),
      [&](const TracePoint& p) {
        base_written |= p.path.find("/base/") != std::string::npos;
        if (p.path.find("Kavel.log") != std::string::npos && base_written) {
          if (held) holder.Release();
          held = held || holder.Hold(LockedFile());
        }
        return TraceAction::kContinue;
      });
  const std::string failed =
      "[err] Unable to write message [2/3]: the rest of IN/";
  const size_t at = run.out.find(failed);
  ASSERT_NE(at, std::string::npos) << run.out;
  EXPECT_EQ(run.out.find(".txt is not posted\n", at), at + failed.size() + 3);
  // Neither a third section nor "Ok" for that file; the next one is whole.
  EXPECT_EQ(run.out.find("   -> [3/3]"), run.out.rfind("   -> [3/3]"));
  EXPECT_EQ(run.out.find("  - Ok..."), run.out.rfind("  - Ok..."));
  EXPECT_GT(run.out.find("  - Ok..."), at);
  EXPECT_EQ(Stored().size(), 1u + 1u + 3u);
}

INSTANTIATE_TEST_SUITE_P(AllFormats, ConcurrentPostingTest,
                         ::testing::Values("Msg", "Squish", "Jam"),
                         [](const auto& info) { return info.param; });

}  // namespace
}  // namespace kavel::e2e
