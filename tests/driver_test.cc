// The run driver, the log and Kavel.cfg seen from outside: the real program
// in a fresh directory.
#include <gtest/gtest.h>

#include <cstdio>

#include "support/e2e.h"

namespace kavel::e2e {
namespace {

const char kStartEnd[] =
    " 07.03.01 21:05:09 Kavel: started..\n"
    " 07.03.01 21:05:09 End..\n\n";

// Without arguments: the log lines, then usage. Other first words (--help
// and --version spelt otherwise included) are unknown commands: the start
// and end lines only, appended to a log found in another case. Every
// command ends with exit code 0 and its end line.
TEST(DriverTest, LogLinesUsageAndUnknownCommands) {
  RunDirectory dir;
  RunResult run = dir.Run({});
  EXPECT_EQ(run.exit_code, 0);
  EXPECT_EQ(run.out, std::string("Made new log file\n") + kStartEnd + kUsage);
  EXPECT_EQ(run.err, "");
  const std::string once =
      " 07.03.01 21:05:09 Kavel: started..\r\n"
      " 07.03.01 21:05:09 End..\r\n\r\n";
  std::rename(dir.Join("Kavel.log").c_str(), dir.Join("KAVEL.LOG").c_str());
  std::string log = once;
  for (const char* word : {"/X", "--VERSION", "--Help", "-h", "/HELP", ""}) {
    EXPECT_EQ(dir.Run({word, "me"}).out, kStartEnd) << word;
    log += once;
  }
  EXPECT_EQ(dir.List(), (std::vector<std::string>{"KAVEL.LOG"}));
  EXPECT_EQ(dir.ReadFile("KAVEL.LOG"), log);
  for (const char* command : {"/encode", "/Decode", "/all"}) {
    run = dir.Run({command, "AREA"});
    EXPECT_TRUE(run.out.ends_with(" End..\n\n")) << run.out;
    EXPECT_EQ(run.out.find("Usage:"), std::string::npos);
  }
  // A log that cannot be made: the lines still reach the console, but no
  // "End..".
  dir.MakeDirectory("sub/Kavel.log");
  run = dir.RunIn(dir.Join("sub"), {});
  EXPECT_EQ(run.out, std::string("I can't make log file!!!..\n") + kUsage);
  run = dir.RunIn(dir.Join("sub"), {"/ALL"});
  EXPECT_EQ(Lines(run.out).front(), "I can't make log file!!!..");
  EXPECT_EQ(run.out.find("End.."), std::string::npos);
}

// --version and --help answer at once, without the log or the
// configuration. Then the common pass of Kavel.cfg (found in any case) at
// every start, the decoding pass for the decoding commands only.
TEST(DriverTest, VersionHelpAndConfigurationPasses) {
  RunDirectory dir;
  dir.WriteFile("kavel.CFG",
                "; test\r\nFROMADDR 2:5020/x\r\nBASETEXTPATH t\r\n");
  dir.WriteFile("Kavel.log", "old\r\n");
  RunResult run = dir.Run({"--help", "/ENCODE", "x", "AREA"});
  EXPECT_EQ(run.out,
            std::string(kUsage) +
                "Exit codes (with ERRORLEVEL Yes in Kavel.cfg; always 0 "
                "without):\n 0 - no failure\n 1 - an [err] line, \"Unable to "
                "open message base\" or \"Area ... not found...\"\n 2 - no "
                "areas file named in Kavel.cfg, or it cannot be opened\n");
  run = dir.Run({"--version", "/ALL"});
  EXPECT_EQ(run.out, std::string("kavel ") + KAVEL_VERSION + "\n");
  EXPECT_EQ(run.exit_code, 0);
  EXPECT_EQ(dir.ReadFile("Kavel.log"), "old\r\n");
  EXPECT_EQ(dir.List(), (std::vector<std::string>{"Kavel.log", "kavel.CFG"}));
  const std::string common =
      " 07.03.01 21:05:09 Loading common part of config file...\n"
      " 07.03.01 21:05:09 Error converting 2:5020/x\n";
  const std::string decoding =
      " 07.03.01 21:05:09 Loading decoding part of config file...\n";
  EXPECT_EQ(dir.Run({"/nothing"}).out, " 07.03.01 21:05:09 Kavel: started..\n" +
                                           common +
                                           " 07.03.01 21:05:09 End..\n\n");
  EXPECT_NE(dir.Run({"/ALL"}).out.find(common + decoding), std::string::npos);
  const std::string out = dir.Run({"/encode", "x", "FOO"}).out;
  EXPECT_NE(out.find(common), std::string::npos);
  EXPECT_EQ(out.find("decoding part"), std::string::npos);
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
      {on + "\r\nFROMADDR x", {"/DECODE", "GOOD"}, 0, "Error converting x"},
      {on, {"/ALL"}, 1, "Unable to open message base "},
      {"-" + on, {"/ALL"}, 2, "Areas configuration file not named"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.arguments[0] + " " + c.line);
    RunDirectory dir;
    dir.MakeDirectory("good");
    dir.WriteFile("areas", "EchoArea GOOD " + dir.Join("good") +
                               " -b Msg\nEchoArea MISSING " + dir.Join("none") +
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
