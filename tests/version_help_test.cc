// --version and --help: answered at once, without the log or the
// configuration; every other first word keeps its old meaning.
#include <gtest/gtest.h>

#include "support/e2e.h"

namespace kavel::e2e {
namespace {

const std::string kHelp =
    std::string(kUsage) +
    "Exit codes (with ERRORLEVEL Yes in Kavel.cfg; always 0 without):\n"
    " 0 - no failure\n"
    " 1 - an [err] line, \"Unable to open message base\" or "
    "\"Area ... not found...\"\n"
    " 2 - no areas file named in Kavel.cfg, or it cannot be opened\n";

TEST(VersionHelpTest, VersionPrintsNameAndVersionOnly) {
  RunDirectory dir;
  RunResult run = dir.Run({"--version"});
  EXPECT_EQ(run.exit_code, 0);
  EXPECT_EQ(run.out, std::string("kavel ") + KAVEL_VERSION + "\n");
  EXPECT_EQ(run.err, "");
  EXPECT_TRUE(dir.List().empty());
}

TEST(VersionHelpTest, HelpPrintsUsageAndExitCodesOnly) {
  RunDirectory dir;
  RunResult run = dir.Run({"--help"});
  EXPECT_EQ(run.exit_code, 0);
  EXPECT_EQ(run.out, kHelp);
  EXPECT_EQ(run.err, "");
  EXPECT_TRUE(dir.List().empty());
}

TEST(VersionHelpTest, LeavesLogAndConfigurationAlone) {
  RunDirectory dir;
  // A configuration that would log a line if it were read.
  dir.WriteFile("Kavel.cfg", "FROMADDR not-an-address\r\n");
  dir.WriteFile("Kavel.log", "old\r\n");
  EXPECT_EQ(dir.Run({"--help", "/ENCODE", "x", "AREA"}).out, kHelp);
  EXPECT_EQ(dir.Run({"--version", "/ALL"}).out,
            std::string("kavel ") + KAVEL_VERSION + "\n");
  EXPECT_EQ(dir.ReadFile("Kavel.log"), "old\r\n");
  EXPECT_EQ(dir.List(), (std::vector<std::string>{"Kavel.cfg", "Kavel.log"}));
}

TEST(VersionHelpTest, OtherSpellingsAreUnknownCommandWords) {
  for (const char* word : {"--VERSION", "--Help", "-h", "--helpme"}) {
    RunDirectory dir;
    RunResult run = dir.Run({word});
    EXPECT_EQ(run.exit_code, 0) << word;
    EXPECT_EQ(run.out,
              "Made new log file\n"
              " 07.03.01 21:05:09 Kavel: started..\n"
              " 07.03.01 21:05:09 End..\n"
              "\n")
        << word;
    EXPECT_TRUE(dir.Exists("Kavel.log")) << word;
  }
}

}  // namespace
}  // namespace kavel::e2e
