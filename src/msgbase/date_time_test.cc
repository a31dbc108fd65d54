#include "msgbase/date_time.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <set>

#include "msgbase/test_support.h"
#include "platform/env.h"
#include "platform/platform.h"

namespace kavel {
namespace {

using testing_support::ClockAt;
using testing_support::Date;

TEST(PackDateTimeTest, GoldenValueAndRoundTrip) {
  uint32_t packed = PackDateTime(Date(2001, 1, 5, 13, 7, 9));
  EXPECT_EQ(packed, 0x2A2568E4u);
  DateTimeRecord back;
  back.hundredth = 42;
  UnpackDateTime(packed, &back);
  DateTimeRecord want = Date(2001, 1, 5, 13, 7, 8);
  want.hundredth = 42;
  EXPECT_EQ(back, want);
}

TEST(PackDateTimeTest, OutOfRangeIsClampedNotWrapped) {
  DateTimeRecord back;
  UnpackDateTime(PackDateTime(Date(1970, 6, 1, 12)), &back);
  EXPECT_EQ(back, Date(1980, 1, 1));
  UnpackDateTime(PackDateTime(Date(2200, 1, 1)), &back);
  EXPECT_EQ(back, Date(2107, 12, 31, 23, 59, 58));
}

TEST(SecondsTest, GoldenAndClamped) {
  EXPECT_EQ(DateTimeToSeconds(Date(2001, 1, 5, 13, 7, 9)), 978700029);
  DateTimeRecord dt;
  SecondsToDateTime(978700029, &dt);
  EXPECT_EQ(dt, Date(2001, 1, 5, 13, 7, 9));
  EXPECT_EQ(DateTimeToSeconds(Date(2040, 1, 1)), 2147483647);
  SecondsToDateTime(-5, &dt);
  EXPECT_EQ(dt, Date(1970, 1, 1));
}

class MsgIdSerialTest : public ::testing::Test {
 protected:
  FakeClockEnv clock_env_{Env::Default()};
  ScopedEnv scoped_clock_{&clock_env_};
};

TEST_F(MsgIdSerialTest, NeverTheSameTwiceEvenWithAStoppedClock) {
  clock_env_.set_clock([] { return ClockAt(2001, 1, 5, 13, 7, 9, 50); });
  std::set<std::string> seen;
  for (int i = 0; i < 5; ++i) {
    std::string serial = MakeMsgIdSerial();
    ASSERT_EQ(serial.size(), 8u);
    EXPECT_EQ(serial.find_first_not_of("0123456789abcdef"), std::string::npos);
    EXPECT_TRUE(seen.insert(serial).second) << serial;
  }
}

TEST_F(MsgIdSerialTest, FollowsTheClockFormula) {
  int calls = 0;
  clock_env_.set_clock(
      [&] { return ClockAt(2001, 1, 5, 13, 7, 9, 3 + calls++); });
  uint32_t v = (2001u + 10u) * 355u * 86400u + 1u * 30u * 86400u + 5u * 86400u +
               13u * 3600u + 7u * 60u + 9u;
  char expected[9];
  std::snprintf(expected, sizeof expected, "%08x", (v << 7) | 3u);
  EXPECT_EQ(MakeMsgIdSerial(), expected);
}

}  // namespace
}  // namespace kavel
