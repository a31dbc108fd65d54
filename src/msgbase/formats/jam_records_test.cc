#include "msgbase/formats/jam_records.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace kavel {
namespace {

std::string Unhex(std::string_view hex) {
  std::string out;
  for (size_t i = 0; i + 1 < hex.size(); i += 2) {
    out += static_cast<char>(
        std::stoi(std::string(hex.substr(i, 2)), nullptr, 16));
  }
  return out;
}

TEST(JamSubfieldTest, RefusesLengthsBeyondTheBlockAndStopsThere) {
  JamSubfield subfield;
  size_t used = 99;
  EXPECT_FALSE(subfield.DecodeFrom(Unhex("d1070000060000"), &used));
  EXPECT_FALSE(subfield.DecodeFrom(Unhex("d1070000"
                                         "07000000"
                                         "353032302f31"),
                                   &used));
  EXPECT_FALSE(subfield.DecodeFrom(Unhex("d1070000"
                                         "ffffffff"
                                         "35"),
                                   &used));
  EXPECT_EQ(used, 99u);
  EXPECT_TRUE(subfield.data.empty());
  // A block decodes up to the first damaged subfield.
  std::string block = Unhex(
      "02000000"
      "03000000"
      "416c6c"  // 2 "All"
      "d0070000"
      "00000000"  // 2000, empty
      "04000000"
      "40000000"
      "3a31");  // 4, announces 64 bytes, holds 2
  std::vector<JamSubfield> subfields;
  EXPECT_FALSE(DecodeJamSubfields(block, &subfields));
  ASSERT_EQ(subfields.size(), 2u);
  EXPECT_EQ(subfields[0].loId, kJamSenderName);
  EXPECT_EQ(subfields[0].data, "All");
  EXPECT_EQ(subfields[1].data, "");
}

}  // namespace
}  // namespace kavel
