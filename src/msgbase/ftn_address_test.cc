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

// Full forms reset the point; abbreviated forms keep the components they
// do not name ("/7": a node of this net; "zone:net" alone changes nothing).
TEST(ParseAddressTest, FullAndAbbreviatedForms) {
  const struct {
    FtnAddress before;
    const char* text;
    FtnAddress after;
  } cases[] = {
      {Addr(9, 9, 9, 9), "2:5020/1.5@fidonet", Addr(2, 5020, 1, 5)},
      {Addr(9, 9, 9, 9), "2:5020/1.2.3", Addr(2, 5020, 1, 2)},
      {Addr(2, 100, 200, 300), "5020/1", Addr(2, 5020, 1, 0)},
      {Addr(2, 5020, 200, 300), "1.5", Addr(2, 5020, 1, 5)},
      {Addr(2, 5020, 1, 5), "2:5030", Addr(2, 5020, 1, 5)},
      {Addr(2, 5020, 1, 5), "/7", Addr(2, 5020, 7, 0)},
      {Addr(2, 1, 1, 1), "5020.7/1", Addr(2, 0, 7, 1)},
      {EmptyAddress, "32767:32767/32767.32767",
       Addr(32767, 32767, 32767, 32767)},
  };
  for (const auto& c : cases) {
    FtnAddress a = c.before;
    EXPECT_TRUE(ParseAddress(c.text, &a)) << c.text;
    EXPECT_EQ(a, c.after) << c.text;
  }
}

TEST(ParseAddressTest, RejectsAndLeavesRecordUntouched) {
  const FtnAddress before = Addr(1, 2, 3, 4);
  for (const char* text :
       {"", "@fidonet", "2:5020/1 ", "2:5020/a", "-2:5020/1", "2:5020/1.-1",
        "/", "2:5020/40000", "2:5020/1.99999999999999999999", "70000", ".32768",
        "99999:1/1"}) {
    FtnAddress a = before;
    EXPECT_FALSE(ParseAddress(text, &a)) << "'" << text << "'";
    EXPECT_EQ(a, before) << "'" << text << "'";
  }
}

// zone:net/node[.point] of plain numbers, read in one pass, reads as every
// other form: numbers up to 32767 (leading zeros allowed), the point 0 when
// not written; a number out of range refuses the whole address.
TEST(ParseAddressTest, PlainFormsAtTheLimits) {
  const char* numbers[] = {"0",     "7",     "00012",  "5020",  "32767",
                           "32768", "99999", "000000", "123456"};
  auto value = [](const std::string& n) { return std::stol(n); };
  const FtnAddress before = Addr(1, 2, 3, 4);
  for (const char* z : numbers) {
    for (const char* n : numbers) {
      for (const char* f : numbers) {
        for (const char* p : {"", "0", "32767", "32768", "00001"}) {
          const std::string text = std::string(z) + ":" + n + "/" + f +
                                   (*p != '\0' ? std::string(".") + p : "");
          const bool fits = value(z) <= 32767 && value(n) <= 32767 &&
                            value(f) <= 32767 &&
                            (*p == '\0' || value(p) <= 32767);
          FtnAddress a = before;
          ASSERT_EQ(ParseAddress(text, &a), fits) << text;
          const auto as16 = [&](const char* x) {
            return static_cast<int16_t>(*x == '\0' ? 0 : value(x));
          };
          EXPECT_EQ(a, fits ? Addr(as16(z), as16(n), as16(f), as16(p)) : before)
              << text;
        }
      }
    }
  }
}

TEST(CompareAddressesTest, ComponentOrder) {
  EXPECT_EQ(CompareAddresses(Addr(1, 2, 3, 4), Addr(2, 1, 1, 0)), -1);
  EXPECT_EQ(CompareAddresses(Addr(2, 5020, 1, 0), Addr(2, 5020, 1, 1)), -1);
}

// A malformed number reads as 0; one out of range is refused, never
// wrapped.
TEST(TextToInt16Test, RangeAndMalformed) {
  const struct {
    const char* text;
    bool ok;
    int16_t value;
  } cases[] = {{"  -32768", true, -32768}, {"$1F", true, 31},
               {"12 ", true, 0},           {"", true, 0},
               {"32768", false, 0},        {"4294967296", false, 0}};
  for (const auto& c : cases) {
    int16_t v = 5;
    EXPECT_EQ(TextToInt16(c.text, &v), c.ok) << c.text;
    if (c.ok) {
      EXPECT_EQ(v, c.value) << c.text;
    }
  }
}

}  // namespace
}  // namespace kavel
