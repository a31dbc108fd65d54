#include "driver/run.h"

#include <gtest/gtest.h>

namespace kavel {
namespace {

TEST(CommandLineTest, JoinedWithLeadingBlanksAndCut) {
  EXPECT_EQ(JoinCommandLine({}), "");
  EXPECT_EQ(JoinCommandLine({"/encode", "a b.txt", "AREA"}),
            " /encode a b.txt AREA");
  std::string long_word(200, 'x');
  std::string line = JoinCommandLine({long_word, long_word, "lost"});
  EXPECT_EQ(line.size(), 255u);
  EXPECT_EQ(line, " " + long_word + " " + std::string(53, 'x'));
}

}  // namespace
}  // namespace kavel
