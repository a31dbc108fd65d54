#include "driver/log.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <filesystem>

#include "platform/temp_dir_for_testing.h"

namespace kavel {
namespace {

using testing::internal::CaptureStdout;
using testing::internal::GetCapturedStdout;

ClockReading At(int year, int month, int day, int hour, int minute,
                int second) {
  ClockReading r;
  r.year = static_cast<uint16_t>(year);
  r.month = static_cast<uint16_t>(month);
  r.day = static_cast<uint16_t>(day);
  r.hour = static_cast<uint16_t>(hour);
  r.minute = static_cast<uint16_t>(minute);
  r.second = static_cast<uint16_t>(second);
  return r;
}

class LogTest : public testing::Test {
 protected:
  void SetUp() override {
    SetClockForTesting([] { return At(2001, 2, 1, 9, 5, 3); });
  }
  void TearDown() override { SetClockForTesting({}); }
  std::string LogName() const { return dir_.Join("Kavel.log"); }

  TempDirForTesting dir_;
};

TEST(LogLineTest, LayoutWithLeadingZerosAndCut) {
  EXPECT_EQ(FormatLogLine(At(2001, 2, 1, 9, 5, 3), false, "hello"),
            " 01.02.01 09:05:03 hello");
  EXPECT_EQ(FormatLogLine(At(1999, 12, 31, 23, 59, 59), true, "bad"),
            " 31.12.99 23:59:59 [err] bad");
  std::string line =
      FormatLogLine(At(2026, 1, 1, 0, 0, 0), false, std::string(250, 'm'));
  EXPECT_EQ(line.size(), 255u);
  EXPECT_EQ(line.substr(0, 19), " 01.01.26 00:00:00 ");
}

TEST_F(LogTest, FirstRunCreatesThenSecondRunAppends) {
  LogFile log;
  CaptureStdout();
  OpenLog(log, LogName(), "Kavel");
  LogError(log, "Can't find file to post..");
  CloseLog(log);
  EXPECT_EQ(GetCapturedStdout(),
            "Made new log file\n"
            " 01.02.01 09:05:03 Kavel: started..\n"
            " 01.02.01 09:05:03 [err] Can't find file to post..\n"
            " 01.02.01 09:05:03 End..\n"
            "\n");
  const std::string first_run =
      " 01.02.01 09:05:03 Kavel: started..\r\n"
      " 01.02.01 09:05:03 [err] Can't find file to post..\r\n"
      " 01.02.01 09:05:03 End..\r\n"
      "\r\n";
  EXPECT_EQ(dir_.ReadFile("Kavel.log"), first_run);

  LogFile again;
  CaptureStdout();
  OpenLog(again, dir_.Join("KAVEL.LOG"), "Kavel");
  CloseLog(again);
  EXPECT_EQ(GetCapturedStdout(),
            " 01.02.01 09:05:03 Kavel: started..\n"
            " 01.02.01 09:05:03 End..\n"
            "\n");
  EXPECT_EQ(dir_.ReadFile("Kavel.log"),
            first_run +
                " 01.02.01 09:05:03 Kavel: started..\r\n"
                " 01.02.01 09:05:03 End..\r\n"
                "\r\n");
}

TEST_F(LogTest, DateAndTimeComeFromOneReading) {
  // The first reading is just before midnight, the next just after.
  int readings = 0;
  SetClockForTesting([&readings] {
    return readings++ == 0 ? At(2001, 3, 6, 23, 59, 59)
                           : At(2001, 3, 7, 0, 0, 0);
  });
  LogFile log;
  log.file = OpenTextWriter(LogName(), false, nullptr);
  CaptureStdout();
  LogInfo(log, "x");
  EXPECT_EQ(GetCapturedStdout(), " 06.03.01 23:59:59 x\n");
}

TEST_F(LogTest, LogThatCannotBeCreatedIsBroken) {
  LogFile log;
  CaptureStdout();
  OpenLog(log, dir_.Join("no-such-dir/Kavel.log"), "Kavel");
  LogInfo(log, "still shown");
  CloseLog(log);
  EXPECT_TRUE(log.logBroken);
  EXPECT_EQ(GetCapturedStdout(),
            "I can't make log file!!!..\n"
            " 01.02.01 09:05:03 still shown\n");
}

TEST_F(LogTest, ExistingLogThatCannotBeAppendedIsBroken) {
  // A directory stands where the log file should be.
  dir_.MakeDirectory("Kavel.log");
  LogFile log;
  CaptureStdout();
  OpenLog(log, LogName(), "Kavel");
  CloseLog(log);
  EXPECT_TRUE(log.logBroken);
  EXPECT_EQ(GetCapturedStdout(), "I can't make log file!!!..\n");
  EXPECT_TRUE(std::filesystem::is_directory(LogName()));
}

TEST_F(LogTest, UnreadableExistingLogIsAppendedNotEmptied) {
  if (geteuid() == 0) GTEST_SKIP() << "root reads every file";
  dir_.WriteFile("Kavel.log", "old\r\n");
  std::filesystem::permissions(LogName(), std::filesystem::perms::owner_write);
  LogFile log;
  CaptureStdout();
  OpenLog(log, LogName(), "Kavel");
  CloseLog(log);
  GetCapturedStdout();
  std::filesystem::permissions(LogName(), std::filesystem::perms::owner_all);
  EXPECT_EQ(dir_.ReadFile("Kavel.log").substr(0, 5), "old\r\n");
}

}  // namespace
}  // namespace kavel
