#include "msgbase/msgid_sequence.h"

#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <set>
#include <sstream>
#include <string>

#include "msgbase/test_support.h"

namespace kavel {
namespace {

using testing_support::ReadFile;
using testing_support::WriteFile;

uint32_t UnexpectedFallback() {
  ADD_FAILURE() << "fallback called";
  return 0;
}

struct TakeCase {
  const char* stored;  // nullptr: no file
  uint32_t clock;
  SequenceTake outcome;
  uint32_t serial;
  const char* after;
};

TEST(MsgIdSequenceTest, TakesTheLargerOfClockAndStoredPlusOne) {
  const TakeCase cases[] = {
      {nullptr, 5, SequenceTake::kTaken, 5, "00000005\r\n"},
      {"0000000a\r\n", 5, SequenceTake::kTaken, 11, "0000000b\r\n"},
      {"0000000a\r\n", 100, SequenceTake::kTaken, 100, "00000064\r\n"},
      {"12345\r\n", 5, SequenceTake::kRewritten, 77, "0000004d\r\n"},
  };
  for (const TakeCase& c : cases) {
    SCOPED_TRACE(c.stored ? c.stored : "(none)");
    TempDirForTesting dir;
    const std::string path = dir.Join("kavel.seq");
    if (c.stored) WriteFile(path, c.stored);
    uint32_t serial = 0;
    EXPECT_EQ(TakeSequenceSerial(
                  path, c.clock, [] { return 77u; }, &serial),
              c.outcome);
    EXPECT_EQ(serial, c.serial);
    EXPECT_EQ(ReadFile(path), c.after);
  }
}

// A batch leaves its last serial in the file; what was not given out goes
// back only while nobody took serials after it.
TEST(MsgIdSequenceTest, BatchesReserveAndHandBackTheirRest) {
  TempDirForTesting dir;
  const std::string path = dir.Join("kavel.seq");
  WriteFile(path, "0000000a\r\n");
  uint32_t first = 0;
  EXPECT_EQ(TakeSequenceSerial(path, 5, UnexpectedFallback, &first, 32),
            SequenceTake::kTaken);
  EXPECT_EQ(first, 11u);
  EXPECT_EQ(ReadFile(path), "0000002a\r\n");
  EXPECT_TRUE(ReturnSequenceSerials(path, 0x2a, 12));
  EXPECT_EQ(ReadFile(path), "0000000c\r\n");
  EXPECT_TRUE(ReturnSequenceSerials(path, 0x2a, 11));
  EXPECT_EQ(ReadFile(path), "0000000c\r\n");
}

// Each of two processes takes serials at once and writes them down; no
// serial is taken twice.
TEST(MsgIdSequenceTest, TwoProcessesTakingAtOnceNeverShareASerial) {
  TempDirForTesting dir;
  const std::string path = dir.Join("kavel.seq");
  constexpr int kTakes = 10000;
  pid_t children[2];
  for (int c = 0; c < 2; ++c) {
    std::fflush(nullptr);
    children[c] = fork();
    if (children[c] != 0) continue;
    FILE* out = std::fopen(dir.Join("taken" + std::to_string(c)).c_str(), "w");
    for (int i = 0; i < kTakes && out != nullptr; ++i) {
      uint32_t serial = 0;
      TakeSequenceSerial(path, 1000, UnexpectedFallback, &serial);
      std::fprintf(out, "%u\n", serial);
    }
    _exit(out != nullptr && std::fclose(out) == 0 ? 0 : 1);
  }
  std::set<uint32_t> seen;
  for (int c = 0; c < 2; ++c) {
    int status = 0;
    waitpid(children[c], &status, 0);
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << status;
    std::istringstream in(ReadFile(dir.Join("taken" + std::to_string(c))));
    for (uint32_t serial; in >> serial;) seen.insert(serial);
  }
  EXPECT_EQ(seen.size(), 2u * kTakes);
  // 1000 first, then one more for every take.
  EXPECT_EQ(ReadFile(path), "00005207\r\n");
}

}  // namespace
}  // namespace kavel
