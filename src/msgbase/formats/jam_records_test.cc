#include "msgbase/formats/jam_records.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace kavel {
namespace {

std::string Hex(const std::string& bytes) {
  static const char kDigits[] = "0123456789abcdef";
  std::string out;
  for (unsigned char c : bytes) {
    out += kDigits[c >> 4];
    out += kDigits[c & 15];
  }
  return out;
}

std::string Unhex(std::string_view hex) {
  std::string out;
  for (size_t i = 0; i + 1 < hex.size(); i += 2) {
    out += static_cast<char>(std::stoi(std::string(hex.substr(i, 2)), nullptr,
                                       16));
  }
  return out;
}

// The first message header of a base written by a real tosser.
constexpr char kTosserHeader[] =
    "4a414d00" "0100" "0000" "b5000000" "00000000" "c1c1c90d" "ffffffff"
    "00000000" "00000000" "00000000" "78bd156b" "00000000" "78bd156b"
    "01000000" "10000001" "00000000" "00000000" "86000000" "ffffffff"
    "00000000";

TEST(JamMessageHeaderTest, DecodesAndReencodesTosserHeader) {
  std::string bytes = Unhex(kTosserHeader);
  ASSERT_EQ(bytes.size(), JamMessageHeader::kEncodedSize);
  JamMessageHeader header;
  EXPECT_FALSE(header.DecodeFrom(std::string_view(bytes).substr(0, 75)));
  ASSERT_TRUE(header.DecodeFrom(bytes));
  EXPECT_TRUE(header.HasSignature());
  EXPECT_EQ(header.revision, 1);
  EXPECT_EQ(header.subfieldLength, 181u);
  EXPECT_EQ(header.msgIdCrc, 0x0DC9C1C1u);
  EXPECT_EQ(header.replyCrc, 0xFFFFFFFFu);
  EXPECT_EQ(header.dateWritten, 1796586872u);
  EXPECT_EQ(header.dateReceived, 0u);
  EXPECT_EQ(header.dateProcessed, 1796586872u);
  EXPECT_EQ(header.messageNumber, 1u);
  EXPECT_EQ(header.attribute, 0x01000010u);
  EXPECT_EQ(header.textOffset, 0u);
  EXPECT_EQ(header.textLength, 134u);
  EXPECT_EQ(header.passwordCrc, 0xFFFFFFFFu);
  std::string again;
  header.EncodeTo(&again);
  EXPECT_EQ(Hex(again), kTosserHeader);
}

TEST(JamSubfieldTest, RefusesLengthsBeyondTheBlock) {
  JamSubfield subfield;
  size_t used = 99;
  EXPECT_FALSE(subfield.DecodeFrom(Unhex("d1070000060000"), &used));
  EXPECT_FALSE(subfield.DecodeFrom(Unhex("d1070000" "07000000" "353032302f31"),
                                   &used));
  EXPECT_FALSE(subfield.DecodeFrom(Unhex("d1070000" "ffffffff" "35"), &used));
  EXPECT_EQ(used, 99u);
  EXPECT_TRUE(subfield.data.empty());
}

TEST(JamSubfieldTest, DecodesBlockAndStopsAtDamage) {
  std::string block = Unhex(
      "02000000" "03000000" "416c6c"      // 2 "All"
      "d0070000" "00000000"               // 2000, empty
      "04000000" "40000000" "3a31");      // 4, announces 64 bytes, holds 2
  std::vector<JamSubfield> subfields;
  EXPECT_FALSE(DecodeJamSubfields(block, &subfields));
  ASSERT_EQ(subfields.size(), 2u);
  EXPECT_EQ(subfields[0].loId, kJamSenderName);
  EXPECT_EQ(subfields[0].data, "All");
  EXPECT_EQ(subfields[1].loId, kJamFtsKludge);
  EXPECT_EQ(subfields[1].data, "");
  EXPECT_TRUE(DecodeJamSubfields(block.substr(0, 19), &subfields));
  EXPECT_EQ(subfields.size(), 2u);
  EXPECT_TRUE(DecodeJamSubfields("", &subfields));
  EXPECT_TRUE(subfields.empty());
}

TEST(JamIndexAndLastReadTest, DecodeRefusesShortRecords) {
  JamIndexRecord index;
  ASSERT_TRUE(index.DecodeFrom(Unhex("228ee7c400040000")));
  EXPECT_EQ(index.toCrc, 0xC4E78E22u);
  EXPECT_EQ(index.headerOffset, 1024u);
  EXPECT_FALSE(index.IsEmpty());
  EXPECT_FALSE(index.DecodeFrom(Unhex("ffffffffffffff")));
  ASSERT_TRUE(index.DecodeFrom(Unhex("ffffffffffffffff")));
  EXPECT_TRUE(index.IsEmpty());
  JamLastReadRecord last;
  const std::string bytes = Unhex("07000000" "07000000" "2a000000" "2b000000");
  EXPECT_FALSE(last.DecodeFrom(bytes.substr(0, 15)));
  ASSERT_TRUE(last.DecodeFrom(bytes));
  EXPECT_EQ(last.userId, 7u);
  EXPECT_EQ(last.lastRead, 42u);
  EXPECT_EQ(last.highRead, 43u);
}

}  // namespace
}  // namespace kavel
