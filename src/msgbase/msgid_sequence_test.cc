#include "msgbase/msgid_sequence.h"

#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <set>
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
      {"", 5, SequenceTake::kTaken, 5, "00000005\r\n"},
      {"0000000a\r\n", 5, SequenceTake::kTaken, 11, "0000000b\r\n"},
      {"0000000a\r\n", 100, SequenceTake::kTaken, 100, "00000064\r\n"},
      {"ffffffff\r\n", 5, SequenceTake::kTaken, 5, "00000005\r\n"},
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

TEST(MsgIdSequenceTest, AFileThatCannotBeOpenedFails) {
  TempDirForTesting dir;
  std::filesystem::create_directory(dir.Join("kavel.seq"));
  uint32_t serial = 0;
  EXPECT_EQ(
      TakeSequenceSerial(dir.Join("kavel.seq"), 5, UnexpectedFallback, &serial),
      SequenceTake::kFailed);
}

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
    int code = out ? 0 : 1;
    for (int i = 0; i < kTakes && code == 0; ++i) {
      uint32_t serial = 0;
      if (TakeSequenceSerial(path, 1000, UnexpectedFallback, &serial) !=
          SequenceTake::kTaken) {
        code = 2;
      }
      std::fprintf(out, "%u\n", serial);
    }
    if (out) std::fclose(out);
    _exit(code);
  }
  for (pid_t child : children) {
    int status = 0;
    waitpid(child, &status, 0);
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << status;
  }
  std::set<uint32_t> seen;
  for (int c = 0; c < 2; ++c) {
    FILE* in = std::fopen(dir.Join("taken" + std::to_string(c)).c_str(), "r");
    ASSERT_NE(in, nullptr);
    unsigned serial = 0;
    while (std::fscanf(in, "%u", &serial) == 1) seen.insert(serial);
    std::fclose(in);
  }
  EXPECT_EQ(seen.size(), 2u * kTakes);
  // 1000 first, then one more for every take.
  EXPECT_EQ(ReadFile(path), "00005207\r\n");
}

}  // namespace
}  // namespace kavel
