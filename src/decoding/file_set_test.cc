#include "decoding/file_set.h"

#include <gtest/gtest.h>

#include <set>
#include <vector>

#include "decoding/unique_name.h"

namespace kavel {
namespace {

SectionPosition At(int32_t part, int32_t message) {
  SectionPosition s;
  s.part = part;
  s.messageNumber = message;
  s.beginPos = 10;
  s.textPos = 40;
  return s;
}

TEST(FileSetListTest, PostingsFarApartOrOfOtherSizeNeverMix) {
  FileSetList sets;
  // A stale part 3 from a week ago, then this week's parts 1 and 2.
  sets.AddSection("NEWS.TXT", 3, At(3, 5), 0, "");
  sets.AddSection("NEWS.TXT", 3, At(1, 90), 7 * 24 * 3600, "");
  sets.AddSection("NEWS.TXT", 3, At(2, 91), 7 * 24 * 3600 + 60, "");
  // Same time, but announcing another number of parts.
  sets.AddSection("NEWS.TXT", 4, At(3, 92), 7 * 24 * 3600 + 60, "");
  ASSERT_EQ(sets.size(), 3u);
  EXPECT_EQ(sets.at(0).foundParts(), 1);
  EXPECT_EQ(sets.at(1).foundParts(), 2);
  EXPECT_FALSE(sets.at(1).IsComplete());
  // Within the hour, in either direction, a section still joins.
  sets.AddSection("NEWS.TXT", 3, At(3, 93), 7 * 24 * 3600 - 3600, "");
  EXPECT_TRUE(sets.at(1).IsComplete());
}

// Sets taken from the front keep the indexes of the others: a section
// still joins its set when the sets before it are gone.
TEST(FileSetListTest, TakingCompleteSetsKeepsTheOthersFindable) {
  FileSetList sets;
  sets.AddSection("ONE.TXT", 1, At(1, 1), 0, "");
  sets.AddSection("TWO.TXT", 2, At(1, 2), 0, "");
  sets.AddSection("THREE.TXT", 2, At(1, 3), 0, "");
  EXPECT_EQ(sets.TakeFront().fileName, "ONE.TXT");
  sets.AddSection("THREE.TXT", 2, At(2, 4), 0, "");
  ASSERT_EQ(sets.taken(), 1u);
  ASSERT_EQ(sets.size(), 3u);
  EXPECT_FALSE(sets.at(1).IsComplete());
  EXPECT_TRUE(sets.at(2).IsComplete());
  sets.AddSection("TWO.TXT", 2, At(2, 5), 0, "");
  EXPECT_TRUE(sets.at(1).IsComplete());
  sets.Clear();
  sets.AddSection("ONE.TXT", 1, At(1, 6), 0, "");
  EXPECT_EQ(sets.at(0).parts[0].messageNumber, 6);
}

TEST(UniqueNameTest, FirstFreeNameAndRemembered) {
  std::set<std::string> existing = {"d\\FWD.TXT", "d\\FWD1.TXT"};
  int probes = 0;
  auto exists = [&](const std::string& p) {
    return ++probes, existing.count(p) != 0;
  };
  UniqueNames names;
  EXPECT_EQ(names.Next("d\\", "FWD", "TXT", exists), "d\\FWD2.TXT");
  existing.insert("d\\FWD2.TXT");
  probes = 0;
  EXPECT_EQ(names.Next("d\\", "FWD", "TXT", exists), "d\\FWD3.TXT");
  EXPECT_EQ(probes, 1);
}
}  // namespace
}  // namespace kavel
