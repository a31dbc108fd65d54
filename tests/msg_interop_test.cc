// Interoperability with a live peer: the crashmail tosser tosses a packet
// built here into a *.MSG area that this program then reads. (Its scan of
// areas this program wrote is checked by the round trips; its netmail, by the
// corpus.)
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "msgbase/formats/msg_area.h"
#include "support/e2e.h"
#include "support/peers.h"
#include "support/posted_messages.h"
#include "util/coding.h"

namespace kavel::e2e {
namespace {

// A type-2 packet from 2:5020/1 to 2:5020/2 holding one message: the
// 58-byte packet header (5 Jan 2001 13:07:09, month 0-based; version 2,
// product 0xFE, capability word 1 and its swapped copy), the packed
// message's fixed part and its four NUL-ended strings, a zero word.
std::string BuildPacket(const std::string& date, const std::string& to,
                        const std::string& from, const std::string& subject,
                        const std::string& text) {
  uint8_t header[58 + 14 + 20] = {};
  const std::pair<size_t, uint16_t> fields[] = {
      {0, 1},  {2, 2},       {4, 2001},  {8, 5},     {10, 13},   {12, 7},
      {14, 9}, {18, 2},      {20, 5020}, {22, 5020}, {24, 0xFE}, {34, 2},
      {36, 2}, {40, 0x0100}, {44, 1},    {46, 2},    {48, 2},    {58, 2},
      {60, 1}, {62, 2},      {64, 5020}, {66, 5020}};
  for (const auto& [at, value] : fields) EncodeFixed16(header + at, value);
  EncodeFixedString(header + 72, 20, date);
  std::string packet(reinterpret_cast<char*>(header), sizeof header);
  for (const std::string* s : {&to, &from, &subject, &text}) {
    packet.append(*s).push_back('\0');
  }
  return packet.append(2, '\0');
}

TEST(CrashmailTest, TossedMessageReadsExactly) {
  ASSERT_TRUE(HaveCommand("crashmail"))
      << "crashmail is not installed (scripts/install_test_deps.sh)";
  RunDirectory dir;
  const std::string from = "\x88\xA2\xA0\xAD \x8F\xA5\xE2\xE0\xAE\xA2";
  const std::string text =
      "\x01MSGID: 2:5020/1 4b1d0001\r\x01"
      "CHRS: CP866 2\rtext.begin 1 of 2 of file HELLO.TXT\r"
      "\x8F\xE0\xA8\xA2\xA5\xE2, \xAC\xA8\xE0! \x8D\xA5\xE2 \xAF\xE0\xAE\r"
      "\rtext.end\r--- Kavel test\r * Origin: Kavel harness (2:5020/1)\r";
  dir.WriteFile("in/0000abcd.pkt",
                BuildPacket("05 Jan 01  13:07:09", "\x82\xE1\xA5\xAC", from,
                            "HELLO.TXT (1/2)",
                            "AREA:RU.KAVEL.TEST\r" + text +
                                "SEEN-BY: 5020/1\r\x01PATH: 5020/1\r"));
  int status = 0;
  const std::string log = TossWithCrashmail(dir.path(), "RU.KAVEL.TEST", "MSG",
                                            dir.Join("echo"), &status);
  ASSERT_EQ(status, 0) << log;
  const std::vector<PostedMessage> tossed =
      ReadPostedMessages(std::string("M").append(dir.Join("echo")));
  ASSERT_EQ(tossed.size(), 1u) << log;
  const PostedMessage& m = tossed[0];
  EXPECT_EQ(m.number, 2) << "crashmail starts echo areas at 2";
  EXPECT_EQ(m.from + "|" + m.to + "|" + m.subject,
            from + "|\x82\xE1\xA5\xAC|HELLO.TXT (1/2)");
  EXPECT_EQ(FormatMsgDate(m.written), "05 Jan 01  13:07:09");
  EXPECT_EQ(m.text, text + "\x01PATH: 5020/1 2\r");
}

}  // namespace
}  // namespace kavel::e2e
