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

struct Format {
  const char* name;
  const char* type_word;  // the -b word of the areas file
  char id_letter;
};

const Format kFormats[] = {
    {"Msg", "Msg", 'M'},
    {"Squish", "Squish", 'S'},
    {"Jam", "Jam", 'J'},
};

void PrintTo(const Format& format, std::ostream* out) { *out << format.name; }

// A text file of `lines` lines of 72 bytes each, distinct per tag; about
// 227 lines make one section of a posting.
constexpr int kLinesFor200 = 45400;  // 200 sections
std::string PostedFile(char tag, int lines) {
  std::string text;
  for (int i = 0; i < lines; ++i) {
    std::string line = std::string(1, tag) + " line " + std::to_string(i) + " ";
    line.append(70 - line.size(), static_cast<char>('a' + i % 26));
    text += line + "\r\n";
  }
  return text;
}

class ConcurrentPostingTest : public ::testing::TestWithParam<Format> {
 protected:
  void SetUp() override {
    dir_.MakeDirectory("base");
    std::string areas = "EchoArea FOO " + BasePath() + " -b " +
                        GetParam().type_word + " 2:5020/9999\r\n";
    dir_.WriteFile("areas.cfg", areas);
    for (char tag : {'a', 'b'}) {
      const std::string run(1, tag);
      dir_.MakeDirectory(run);
      dir_.WriteFile(run + "/Kavel.cfg",
                     "HPTPATH " + dir_.Join("areas.cfg") + "\r\n"
                     "FROM \"Poster " + run + "\"\r\n"
                     "TO All\r\n"
                     "SUBJ File " + run + "\r\n"
                     "FROMADDR 2:5020/9999\r\n"
                     "USEENCODEDSTRINGS yes\r\n"
                     "BASETEXTPATH " + dir_.Join("txt") + "\r\n");
    }
    // b takes its MSGID serials from a's default sequence file.
    dir_.WriteFile("b/Kavel.cfg", dir_.ReadFile("b/Kavel.cfg") +
                                      "MSGIDSEQUENCE " +
                                      dir_.Join("a/kavel.seq") + "\r\n");
  }

  std::string BasePath() const {
    return dir_.Join(GetParam().id_letter == 'M' ? "base/foo/" : "base/foo");
  }
  std::string AreaId() const {
    return std::string(1, GetParam().id_letter) + BasePath();
  }
  RunResult Post(char tag, const std::string& file = "") const {
    const std::string run(1, tag);
    const std::string name = file.empty() ? run + ".txt" : file;
    return dir_.RunIn(dir_.Join(run),
                      {"/ENCODE", dir_.Join(run + "/" + name), "FOO"});
  }
  // Answers whether no two stored messages share a MSGID serial; *highest
  // receives the largest.
  bool MsgIdsDistinct(std::string* highest) const {
    std::set<std::string> serials;
    const std::vector<PostedMessage> stored = ReadPostedMessages(AreaId());
    for (const PostedMessage& m : stored) serials.insert(m.msgid_serial);
    *highest = serials.empty() ? "" : *serials.rbegin();
    return serials.size() == stored.size() && !serials.count("");
  }

  RunDirectory dir_;
};

TEST_P(ConcurrentPostingTest, TwoPostingsAtOnceKeepEveryMessage) {
  const std::string file_a = PostedFile('A', kLinesFor200);
  const std::string file_b = PostedFile('B', kLinesFor200);
  dir_.WriteFile("a/a.txt", file_a);
  dir_.WriteFile("b/b.txt", file_b);

  RunResult run_a, run_b;
  std::thread poster_a([&] { run_a = Post('a'); });
  std::thread poster_b([&] { run_b = Post('b'); });
  poster_a.join();
  poster_b.join();
  EXPECT_EQ(run_a.exit_code, 0) << run_a.out;
  EXPECT_EQ(run_b.exit_code, 0) << run_b.out;

  // Every section of both, each numbered of 200.
  std::map<std::string, int> subjects;
  for (const PostedMessage& m : ReadPostedMessages(AreaId())) {
    ++subjects[m.subject.substr(m.subject.find('/'))];
  }
  EXPECT_EQ(subjects, (std::map<std::string, int>{{"/200] File a", 200},
                                                  {"/200] File b", 200}}));
  std::string highest;
  EXPECT_TRUE(MsgIdsDistinct(&highest));
  EXPECT_EQ(dir_.ReadFile("a/kavel.seq"), highest + "\r\n");

  RunResult decode = dir_.RunIn(dir_.Join("a"), {"/DECODE", "FOO"});
  EXPECT_TRUE(dir_.ReadFile("txt/foo/a.txt") == file_a) << decode.out;
  EXPECT_TRUE(dir_.ReadFile("txt/foo/b.txt") == file_b) << decode.out;
}

TEST_P(ConcurrentPostingTest, AGarbledSequenceFileIsReportedOnceAndRewritten) {
  dir_.WriteFile("a/a.txt", PostedFile('A', 2270));
  dir_.WriteFile("a/kavel.seq", "not a serial\r\n");
  const std::vector<std::string> first = MessagesOf(Lines(Post('a').out));
  const std::vector<std::string> second = MessagesOf(Lines(Post('a').out));
  EXPECT_EQ(std::count(first.begin(), first.end(),
                       "[err] Garbled MSGID sequence file kavel.seq"),
            1);
  EXPECT_EQ(std::count(second.begin(), second.end(),
                       "[err] Garbled MSGID sequence file kavel.seq"),
            0);
  std::string highest;
  EXPECT_TRUE(MsgIdsDistinct(&highest));
  EXPECT_EQ(ReadPostedMessages(AreaId()).size(), 20u);
  EXPECT_EQ(dir_.ReadFile("a/kavel.seq"), highest + "\r\n");
}

TEST_P(ConcurrentPostingTest, AHeldLockMakesThePostingFailWithItsLine) {
  if (GetParam().id_letter == 'M') GTEST_SKIP() << "*.MSG has no base lock";
  dir_.WriteFile("a/a.txt", PostedFile('A', 300));
  ASSERT_EQ(Post('a').exit_code, 0);
  const std::string locked =
      BasePath() + (GetParam().id_letter == 'S' ? ".sqd" : ".jhr");
  std::map<std::string, std::string> before;
  for (const auto& entry : std::filesystem::directory_iterator(dir_.Join("base"))) {
    before[entry.path().string()] = dir_.ReadFile(
        std::filesystem::relative(entry.path(), dir_.path()).string());
  }
  testing_support::LockHolder holder(dir_.path());
  ASSERT_TRUE(holder.Hold(locked));
  dir_.SetEnv("KAVEL_LOCK_WAIT_MS", "200");
  RunResult refused = Post('a');
  EXPECT_NE(refused.out.find("Unable to write message"), std::string::npos)
      << refused.out;
  for (const auto& [path, bytes] : before) {
    EXPECT_TRUE(dir_.ReadFile(std::filesystem::relative(path, dir_.path())
                                  .string()) == bytes)
        << path << " changed while another writer held the lock";
  }
  holder.Release();
  RunResult accepted = Post('a');
  EXPECT_EQ(accepted.out.find("Unable"), std::string::npos) << accepted.out;
  EXPECT_EQ(ReadPostedMessages(AreaId()).size(), 4u);
}

TEST_P(ConcurrentPostingTest, ALockTakenBetweenSectionsEndsThatFileOnly) {
  std::string reason;
  if (GetParam().id_letter == 'M') GTEST_SKIP() << "*.MSG has no base lock";
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
  bool base_written = false;
  bool held = false;
  TracedResult run = RunTraced(
      dir_.Join("a"), {"/ENCODE", "in/*.txt", "FOO"}, dir_.path(),
      [&](const TracePoint& p) {
        base_written |= p.path.find("/base/") != std::string::npos;
        if (p.path.find("Kavel.log") == std::string::npos || !base_written) {
          return TraceAction::kContinue;
        }
        if (held) holder.Release();
        held = held ||
               holder.Hold(BasePath() +
                           (GetParam().id_letter == 'S' ? ".sqd" : ".jhr"));
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
  EXPECT_EQ(ReadPostedMessages(AreaId()).size(), 1u + 1u + 3u);
}

INSTANTIATE_TEST_SUITE_P(AllFormats, ConcurrentPostingTest,
                         ::testing::ValuesIn(kFormats),
                         [](const ::testing::TestParamInfo<Format>& info) {
                           return std::string(info.param.name);
                         });

}  // namespace
}  // namespace kavel::e2e
