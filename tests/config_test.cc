// Kavel.cfg as the program reads it: the common pass at every start, the
// decoding pass for the decoding commands only.
#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

#include "support/e2e.h"

namespace kavel::e2e {
namespace {

bool Has(const std::vector<std::string>& lines, const std::string& line) {
  return std::find(lines.begin(), lines.end(), line) != lines.end();
}

TEST(ConfigE2eTest, CommonPassRunsAtEveryStart) {
  RunDirectory dir;
  dir.WriteFile("Kavel.cfg",
                "; test configuration\r\n"
                "FROMADDR 2:5020/x\r\n"
                "BASETEXTPATH txt\r\n");
  RunResult run = dir.Run({"/nothing"});
  EXPECT_EQ(run.exit_code, 0);
  EXPECT_EQ(run.out,
            "Made new log file\n"
            " 07.03.01 21:05:09 Kavel: started..\n"
            " 07.03.01 21:05:09 Loading common part of config file...\n"
            " 07.03.01 21:05:09 Error converting 2:5020/x\n"
            " 07.03.01 21:05:09 End..\n"
            "\n");
  EXPECT_EQ(dir.ReadFile("Kavel.log"),
            " 07.03.01 21:05:09 Kavel: started..\r\n"
            " 07.03.01 21:05:09 Loading common part of config file...\r\n"
            " 07.03.01 21:05:09 Error converting 2:5020/x\r\n"
            " 07.03.01 21:05:09 End..\r\n"
            "\r\n");
}

TEST(ConfigE2eTest, DecodingPassOnlyForDecodingCommands) {
  RunDirectory dir;
  dir.WriteFile("kavel.CFG", "FROM Bob\r\n");  // found in any case
  const std::string common =
      " 07.03.01 21:05:09 Loading common part of config file...";
  const std::string decoding =
      " 07.03.01 21:05:09 Loading decoding part of config file...";
  for (const char* command : {"/decode", "/ALL"}) {
    SCOPED_TRACE(command);
    std::vector<std::string> lines = Lines(dir.Run({command, "FOO"}).out);
    auto at = std::find(lines.begin(), lines.end(), common);
    ASSERT_NE(at, lines.end());
    ASSERT_NE(at + 1, lines.end());
    EXPECT_EQ(at[1], decoding);
  }
  std::vector<std::string> lines = Lines(dir.Run({"/encode", "x", "FOO"}).out);
  EXPECT_TRUE(Has(lines, common));
  EXPECT_FALSE(Has(lines, decoding));
}

TEST(ConfigE2eTest, NoConfigurationFileNoLoadingLines) {
  RunDirectory dir;
  std::vector<std::string> lines = Lines(dir.Run({"/decode", "FOO"}).out);
  for (const std::string& line : lines) {
    EXPECT_EQ(line.find("Loading"), std::string::npos) << line;
  }
}

}  // namespace
}  // namespace kavel::e2e
