// The run driver and the log, seen from outside: the real program in a fresh
// directory.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <fstream>

#include "support/e2e.h"

namespace kavel::e2e {
namespace {

TEST(DriverTest, NoArgumentsPrintsLogLinesThenUsage) {
  RunDirectory dir;
  RunResult run = dir.Run({});
  EXPECT_EQ(run.exit_code, 0);
  EXPECT_EQ(run.out, std::string("Made new log file\n"
                                 " 07.03.01 21:05:09 Kavel: started..\n"
                                 " 07.03.01 21:05:09 End..\n"
                                 "\n") +
                         kUsage);
  EXPECT_EQ(run.err, "");
  EXPECT_EQ(dir.ReadFile("Kavel.log"),
            " 07.03.01 21:05:09 Kavel: started..\r\n"
            " 07.03.01 21:05:09 End..\r\n"
            "\r\n");
}

TEST(DriverTest, SecondRunAppendsAfterEmptyLine) {
  RunDirectory dir;
  ASSERT_EQ(dir.Run({}).exit_code, 0);
  dir.SetEnv("KAVEL_FAKE_CLOCK", "2002-11-30 08:00:59");
  RunResult second = dir.Run({"/nothing"});
  EXPECT_EQ(second.exit_code, 0);
  // No "Made new log file", no usage; only the start and end lines.
  EXPECT_EQ(second.out,
            " 30.11.02 08:00:59 Kavel: started..\n"
            " 30.11.02 08:00:59 End..\n"
            "\n");
  EXPECT_EQ(dir.ReadFile("Kavel.log"),
            " 07.03.01 21:05:09 Kavel: started..\r\n"
            " 07.03.01 21:05:09 End..\r\n"
            "\r\n"
            " 30.11.02 08:00:59 Kavel: started..\r\n"
            " 30.11.02 08:00:59 End..\r\n"
            "\r\n");
  EXPECT_EQ(dir.List(), (std::vector<std::string>{"Kavel.log"}));
}

TEST(DriverTest, LogFoundInAnotherCaseIsAppendedTo) {
  RunDirectory dir;
  dir.WriteFile("KAVEL.LOG", "old line\r\n\r\n");
  RunResult run = dir.Run({"/X"});
  EXPECT_EQ(run.exit_code, 0);
  EXPECT_EQ(dir.List(), (std::vector<std::string>{"KAVEL.LOG"}));
  EXPECT_EQ(dir.ReadFile("KAVEL.LOG"),
            "old line\r\n\r\n"
            " 07.03.01 21:05:09 Kavel: started..\r\n"
            " 07.03.01 21:05:09 End..\r\n"
            "\r\n");
}

// A directory in which no file can be created: made read-only, or, for root
// (who writes anywhere), /proc.
std::string UnwritableDirectory(const RunDirectory& dir) {
  if (geteuid() != 0) {
    chmod(dir.path().c_str(), 0555);
    return dir.path();
  }
  std::ofstream probe("/proc/kavel-probe");
  return probe ? std::string() : std::string("/proc");
}

TEST(DriverTest, UnwritableDirectoryGivesBrokenLogAndNoEndLine) {
  RunDirectory dir;
  std::string unwritable = UnwritableDirectory(dir);
  if (unwritable.empty()) GTEST_SKIP() << "no unwritable directory";
  RunResult run = dir.RunIn(unwritable, {});
  EXPECT_EQ(run.exit_code, 0);
  EXPECT_EQ(run.out, std::string("I can't make log file!!!..\n") + kUsage);

  // A command run: its lines still reach the console, but no "End..".
  run = dir.RunIn(unwritable, {"/unknown"});
  EXPECT_EQ(run.exit_code, 0);
  EXPECT_EQ(run.out, "I can't make log file!!!..\n");
}

TEST(DriverTest, LogThatIsADirectoryIsBroken) {
  RunDirectory dir;
  dir.MakeDirectory("Kavel.log");
  RunResult run = dir.Run({"/ALL"});
  EXPECT_EQ(run.exit_code, 0);
  EXPECT_EQ(Lines(run.out).front(), "I can't make log file!!!..");
  EXPECT_EQ(run.out.find("End.."), std::string::npos);
}

TEST(DriverTest, EveryCommandEndsWithExitCodeZeroAndEndLine) {
  RunDirectory dir;
  const std::vector<std::vector<std::string>> commands = {
      {"/ENCODE"},
      {"/encode", "file.txt", "AREA"},
      {"/Decode", "AREA"},
      {"/DECODE"},
      {"/all"},
      {"what", "ever"},
      {std::string(300, 'x')},
      {""},
  };
  for (const auto& arguments : commands) {
    RunResult run = dir.Run(arguments);
    EXPECT_EQ(run.exit_code, 0) << arguments[0];
    std::vector<std::string> lines = Lines(run.out);
    ASSERT_GE(lines.size(), 2u);
    EXPECT_EQ(lines[lines.size() - 2].substr(18), " End..") << arguments[0];
    EXPECT_EQ(lines.back(), "");
    EXPECT_EQ(run.out.find("Usage:"), std::string::npos);
  }
}

TEST(DriverTest, UnknownCommandLogsOnlyStartAndEnd) {
  RunDirectory dir;
  RunResult run = dir.Run({"/HELP", "me"});
  EXPECT_EQ(run.exit_code, 0);
  EXPECT_EQ(run.out,
            "Made new log file\n"
            " 07.03.01 21:05:09 Kavel: started..\n"
            " 07.03.01 21:05:09 End..\n"
            "\n");
}

// ERRORLEVEL: one run per failure class. `config` follows the HPTPATH line
// naming "areas"; "-" in front of it makes it the whole file.
TEST(DriverTest, ErrorLevelExitCodes) {
  const std::string on = "ERRORLEVEL Yes";
  const struct {
    std::string config;
    std::vector<std::string> arguments;
    int code;
    std::string line;  // a line the run must write
  } cases[] = {
      {"", {"/DECODE", "NOPE"}, 0, "Area NOPE not found... "},
      {on + "\r\nFROMADDR x", {"/DECODE", "GOOD"}, 0, "Error converting x"},
      {on, {"/DECODE", "NOPE"}, 1, "Area NOPE not found... "},
      {on, {"/ALL"}, 1, "Unable to open message base "},
      {on, {"/ENCODE", "none", "GOOD"}, 1, "[err] Can't find file to post.."},
      {"errorlevel y", {"/what"}, 1, "[err] Unknown command /WHAT"},
      {on + "\r\nHPTPATH gone",
       {"/ALL"},
       2,
       "Areas configuration file tried: HPTPATH \"gone\""},
      {"-" + on, {"/ALL"}, 2, "Areas configuration file not named"},
      {"-" + on, {"/DECODE", "GOOD"}, 2, "Unable to open message base "},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.arguments[0] + " " + c.line);
    RunDirectory dir;
    dir.MakeDirectory("good");
    dir.WriteFile("areas", "EchoArea GOOD " + dir.Join("good") + " -b Msg\n" +
                               "EchoArea MISSING " + dir.Join("none") +
                               " -b Msg\n");
    if (c.config.starts_with("-")) {
      dir.WriteFile("Kavel.cfg", c.config.substr(1) + "\r\n");
    } else {
      dir.WriteConfig({c.config});
    }
    RunResult run = dir.Run(c.arguments);
    EXPECT_EQ(run.exit_code, c.code);
    EXPECT_NE(run.out.find(" " + c.line), std::string::npos) << run.out;
  }
}

}  // namespace
}  // namespace kavel::e2e
