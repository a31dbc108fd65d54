#include "msgbase/formats/squish_records.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace kavel {
namespace {

TEST(SquishRecordsTest, ToNameHashGoldenValues) {
  EXPECT_EQ(ToNameHash("All"), 0x682Cu);
  // Values from the index files of bases written by another Squish library:
  // long names fold the top nibble back in; CP866 letters are not folded.
  EXPECT_EQ(ToNameHash("Ivan Petrov"), 0x077CF966u);
  EXPECT_EQ(ToNameHash("\x82\xE1\xA5\xAC"), 0x00090BFCu);
  EXPECT_NE(ToNameHash("\x82\xE1\xA5\xAC"), ToNameHash("\xA2\xE1\xA5\xAC"));
}

}  // namespace
}  // namespace kavel
