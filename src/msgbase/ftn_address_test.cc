#include "msgbase/ftn_address.h"

#include <gtest/gtest.h>

namespace kavel {
namespace {

FtnAddress Addr(int zone, int net, int node, int point) {
  FtnAddress a;
  a.zone = static_cast<int16_t>(zone);
  a.net = static_cast<int16_t>(net);
  a.node = static_cast<int16_t>(node);
  a.point = static_cast<int16_t>(point);
  return a;
}

TEST(ParseAddressTest, FullFormsAndDomain) {
  FtnAddress a = Addr(9, 9, 9, 9);
  ASSERT_TRUE(ParseAddress("2:5020/1.5@fidonet", &a));
  EXPECT_EQ(a, Addr(2, 5020, 1, 5));
  ASSERT_TRUE(ParseAddress("2:5020/1", &a));
  EXPECT_EQ(a, Addr(2, 5020, 1, 0)) << "point is reset by the 4-part form";
  ASSERT_TRUE(ParseAddress("2:5020/1.2.3", &a));
  EXPECT_EQ(a, Addr(2, 5020, 1, 2));
  ASSERT_TRUE(ParseAddress("0:0/0.0", &a));
  EXPECT_EQ(a, EmptyAddress);
}

TEST(ParseAddressTest, AbbreviatedFormsKeepUnnamedComponents) {
  FtnAddress a = Addr(2, 100, 200, 300);
  ASSERT_TRUE(ParseAddress("5020/1", &a));
  EXPECT_EQ(a, Addr(2, 5020, 1, 0));
  a = Addr(2, 5020, 200, 300);
  ASSERT_TRUE(ParseAddress("1.5", &a));
  EXPECT_EQ(a, Addr(2, 5020, 1, 5));
  ASSERT_TRUE(ParseAddress("1", &a));
  EXPECT_EQ(a, Addr(2, 5020, 1, 0));
  ASSERT_TRUE(ParseAddress(".5", &a));
  EXPECT_EQ(a, Addr(2, 5020, 1, 5));
  ASSERT_TRUE(ParseAddress("2:5030", &a));
  EXPECT_EQ(a, Addr(2, 5020, 1, 5)) << "zone:net changes nothing";
  ASSERT_TRUE(ParseAddress("/7", &a));
  EXPECT_EQ(a, Addr(2, 5020, 7, 0)) << "leading slash: node of this net";
  a = Addr(2, 1, 1, 1);
  ASSERT_TRUE(ParseAddress("5020.7/1", &a));
  EXPECT_EQ(a, Addr(2, 0, 7, 1));
}

TEST(ParseAddressTest, RejectsAndLeavesRecordUntouched) {
  const FtnAddress before = Addr(1, 2, 3, 4);
  for (const char* text :
       {"", "@fidonet", "2:5020/1 ", "2:5020/a", "-2:5020/1", "2:5020/1.-1",
        "/", "2:5020/40000", "2:5020/1.99999999999999999999", "70000",
        ".32768", "99999:1/1"}) {
    FtnAddress a = before;
    EXPECT_FALSE(ParseAddress(text, &a)) << "'" << text << "'";
    EXPECT_EQ(a, before) << "'" << text << "'";
  }
  FtnAddress a = before;
  EXPECT_TRUE(ParseAddress("32767:32767/32767.32767", &a));
  EXPECT_EQ(a, Addr(32767, 32767, 32767, 32767));
}

TEST(AddressPrintTest, ThreeForms) {
  EXPECT_EQ(AddressToText(Addr(2, 5020, 1, 0)), "2:5020/1");
  EXPECT_EQ(AddressToText(Addr(2, 5020, 1, 5)), "2:5020/1.5");
  EXPECT_EQ(AddressToText4D(Addr(2, 5020, 1, 0)), "2:5020/1.0");
  EXPECT_EQ(AddressToText3D(Addr(2, 5020, 1, 5)), "2:5020/1");
  EXPECT_EQ(AddressToText(EmptyAddress), "0:0/0");
}

TEST(CompareAddressesTest, ComponentOrder) {
  EXPECT_EQ(CompareAddresses(Addr(1, 2, 3, 4), Addr(2, 1, 1, 0)), -1);
  EXPECT_EQ(CompareAddresses(Addr(2, 5020, 1, 0), Addr(2, 5020, 1, 1)), -1);
  EXPECT_EQ(CompareAddresses(Addr(2, 5020, 1, 1), Addr(2, 5020, 1, 0)), 1);
  EXPECT_EQ(CompareAddresses(Addr(-1, 0, 0, 0), Addr(0, 0, 0, 0)), -1);
  EXPECT_EQ(CompareAddresses(Addr(2, 5020, 1, 1), Addr(2, 5020, 1, 1)), 0);
}

TEST(NthWordTest, DelimiterRuns) {
  EXPECT_EQ(NthWord(2, "one,,two", ","), "two");
  EXPECT_EQ(NthWord(3, "one,,two", ","), "");
  EXPECT_EQ(NthWord(1, "  lead  ", " "), "lead");
  EXPECT_EQ(NthWord(3, "2:5020/1.5", ":/."), "1");
  EXPECT_EQ(NthWord(0, "a b", " "), "");
}

TEST(TextToInt16Test, RangeAndMalformed) {
  int16_t v = 5;
  EXPECT_TRUE(TextToInt16("  -32768", &v));
  EXPECT_EQ(v, -32768);
  EXPECT_TRUE(TextToInt16("$1F", &v));
  EXPECT_EQ(v, 31);
  EXPECT_TRUE(TextToInt16("12 ", &v));
  EXPECT_EQ(v, 0) << "trailing blank is malformed";
  EXPECT_TRUE(TextToInt16("", &v));
  EXPECT_EQ(v, 0);
  EXPECT_FALSE(TextToInt16("32768", &v));
  EXPECT_EQ(v, 0);
  EXPECT_FALSE(TextToInt16("4294967296", &v)) << "never wrapped";
}

}  // namespace
}  // namespace kavel
