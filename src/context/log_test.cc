#include "context/log.h"

#include <gtest/gtest.h>

#include <filesystem>

#include "msgbase/test_support.h"
#include "platform/env.h"
#include "platform/temp_dir_for_testing.h"

namespace kavel {
namespace {

using testing::internal::CaptureStdout;
using testing::internal::GetCapturedStdout;

using testing_support::ClockAt;

class LogTest : public testing::Test {
 protected:
  FakeClockEnv clock_env_{Env::Default()};
  ScopedEnv scoped_clock_{&clock_env_};
  std::string LogName() const { return dir_.Join("Kavel.log"); }

  TempDirForTesting dir_;
};

TEST_F(LogTest, DateAndTimeComeFromOneReading) {
  // The first reading is just before midnight, the next just after.
  int readings = 0;
  clock_env_.set_clock([&readings] {
    return readings++ == 0 ? ClockAt(2001, 3, 6, 23, 59, 59)
                           : ClockAt(2001, 3, 7, 0, 0, 0);
  });
  LogFile log;
  log.file = OpenTextWriter(LogName(), false, nullptr);
  CaptureStdout();
  LogInfo(log, "x");
  EXPECT_EQ(GetCapturedStdout(), " 06.03.01 23:59:59 x\n");
}

// Lines of a batch reach the file and the console together at its end,
// each as it would alone, the error's level raised at once.
TEST_F(LogTest, BatchedLinesComeOutAtTheEndAsAlone) {
  clock_env_.set_clock([] { return ClockAt(2001, 3, 6, 12, 0, 0); });
  LogFile log;
  bool created = false;
  log.file = OpenTextAppender(LogName(), &created, nullptr);
  CaptureStdout();
  BeginLogBatch(log);
  LogInfo(log, "one");
  LogError(log, "two");
  EXPECT_EQ(log.worst, RunFailure::kFailed);
  EXPECT_EQ(dir_.ReadFile("Kavel.log"), "");
  EndLogBatch(log);
  LogInfo(log, "three");
  const std::string lines =
      " 06.03.01 12:00:00 one\n 06.03.01 12:00:00 [err] two\n"
      " 06.03.01 12:00:00 three\n";
  EXPECT_EQ(GetCapturedStdout(), lines);
  EXPECT_EQ(dir_.ReadFile("Kavel.log"),
            " 06.03.01 12:00:00 one\r\n 06.03.01 12:00:00 [err] two\r\n"
            " 06.03.01 12:00:00 three\r\n");
}

}  // namespace
}  // namespace kavel
