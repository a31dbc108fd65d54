#include "msgbase/formats/jam_crc.h"

#include <gtest/gtest.h>

namespace kavel {
namespace {

TEST(JamCrcTest, GoldenValues) {
  EXPECT_EQ(JamCrc("abc"), 0xCADBBE3Du);
  EXPECT_EQ(JamCrc("All"), 0xC4E78E22u);
  EXPECT_EQ(JamCrc(""), 0xFFFFFFFFu);
  // Values that real writers stored in the corpus bases.
  EXPECT_EQ(JamCrc("2:5020/1 4b1d0001"), 0x0DC9C1C1u);
  EXPECT_EQ(JamCrc("Ivan Petrov"), 0xB7A9D0EBu);
  EXPECT_EQ(JamCrc("Harness Sysop"), 0xDC797794u);
  // CP866 bytes are not folded: "Всем".
  EXPECT_EQ(JamCrc("\x82\xE1\xA5\xAC"), 0x3DDB43ABu);
}

TEST(JamCrcTest, FoldsOnlyAsciiLetters) {
  EXPECT_EQ(JamCrc("ALL"), JamCrc("all"));
  EXPECT_EQ(JamCrc("IVAN Petrov"), JamCrc("ivan petrov"));
  EXPECT_NE(JamCrc("\x82"), JamCrc("\xA2"));  // CP866 В and в differ
  EXPECT_NE(JamCrc("[@"), JamCrc("{`"));
}

}  // namespace
}  // namespace kavel
