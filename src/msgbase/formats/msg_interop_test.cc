// Interoperability with a live peer: the crashmail tosser tosses a packet
// built here into a *.MSG area that MsgArea then reads. (Its scan of areas
// this program wrote is checked end to end; its netmail, by the corpus.)
#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <string>

#include "msgbase/formats/msg_area.h"
#include "msgbase/test_support.h"
#include "platform/env.h"
#include "util/coding.h"

namespace kavel {
namespace {

using testing_support::ReadFile;
using testing_support::TextOf;
using testing_support::WriteFile;

// A type-2 packet from 2:5020/1 to 2:5020/9999 holding one message: the
// 58-byte packet header (5 Jan 2001 13:07:09, month 0-based; version 2,
// product 0xFE, capability word 1 and its swapped copy), the packed
// message's fixed part and its four NUL-ended strings, a zero word.
std::string BuildPacket(const std::string& date, const std::string& to,
                        const std::string& from, const std::string& subject,
                        const std::string& text) {
  uint8_t header[58 + 14 + 20] = {};
  const std::pair<size_t, uint16_t> fields[] = {
      {0, 1},  {2, 9999},    {4, 2001},  {8, 5},     {10, 13},   {12, 7},
      {14, 9}, {18, 2},      {20, 5020}, {22, 5020}, {24, 0xFE}, {34, 2},
      {36, 2}, {40, 0x0100}, {44, 1},    {46, 2},    {48, 2},    {58, 2},
      {60, 1}, {62, 9999},   {64, 5020}, {66, 5020}};
  for (const auto& [at, value] : fields) EncodeFixed16(header + at, value);
  EncodeFixedString(header + 72, 20, date);
  std::string packet(reinterpret_cast<char*>(header), sizeof header);
  for (const std::string* s : {&to, &from, &subject, &text}) {
    packet.append(*s).push_back('\0');
  }
  return packet.append(2, '\0');
}

TEST(CrashmailTest, TossedMessageReadsExactly) {
  ASSERT_EQ(std::system("command -v crashmail >/dev/null"), 0)
      << "crashmail is not installed (scripts/install_test_deps.sh)";
  TempDirForTesting dir;
  const std::string root = dir.Join("");
  for (const char* d : {"in", "out", "tmp", "pkt", "echo", "netmail", "bad"}) {
    std::filesystem::create_directory(root + d);
  }
  std::string prefs = R"(SYSOP "Test Sysop"
LOGFILE "@crashmail.log"
LOGLEVEL 6
DUPEFILE "@dupes" 200
DUPEMODE IGNORE
DEFAULTZONE 2
INBOUND "@in"
OUTBOUND "@out"
TEMPDIR "@tmp"
CREATEPKTDIR "@pkt"
PACKETDIR "@out"
STATSFILE "@stats"
AKA 2:5020/9999
DOMAIN "FidoNet"
NODE 2:5020/1 "" ""
MSG_HIGHWATER
IMPORTSEENBY
NETMAIL "NETMAIL" 2:5020/9999 MSG "@netmail"
AREA "BAD" 2:5020/9999 MSG "@bad"
AREA "RU.KAVEL.TEST" 2:5020/9999 MSG "@echo"
EXPORT 2:5020/1
)";
  for (size_t at; (at = prefs.find('@')) != std::string::npos;) {
    prefs.replace(at, 1, root);
  }
  WriteFile(root + "crashmail.prefs", prefs);
  const std::string from = "\x88\xA2\xA0\xAD \x8F\xA5\xE2\xE0\xAE\xA2";
  const std::string text =
      "\x01MSGID: 2:5020/1 4b1d0001\r\x01"
      "CHRS: CP866 2\rtext.begin 1 of 2 of file HELLO.TXT\r"
      "\x8F\xE0\xA8\xA2\xA5\xE2, \xAC\xA8\xE0! \x8D\xA5\xE2 \xAF\xE0\xAE\r"
      "\rtext.end\r--- Kavel test\r * Origin: Kavel harness (2:5020/1)\r";
  WriteFile(root + "in/0000abcd.pkt",
            BuildPacket("05 Jan 01  13:07:09", "\x82\xE1\xA5\xAC", from,
                        "HELLO.TXT (1/2)",
                        "AREA:RU.KAVEL.TEST\r" + text +
                            "SEEN-BY: 5020/1\r\x01PATH: 5020/1\r"));
  const std::string command = "cd " + root + " && crashmail SETTINGS " + root +
                              "crashmail.prefs TOSS NOSECURITY >" + root +
                              "crashmail.out 2>&1";
  const bool tossed = std::system(command.c_str()) == 0;
  CurrentEnv()->ForgetPathCache();
  const std::string log =
      ReadFile(root + "crashmail.out") + ReadFile(root + "crashmail.log");
  ASSERT_TRUE(tossed) << log;

  std::unique_ptr<MessageArea> area;
  ASSERT_TRUE(OpenMessageArea(&area, std::string("M").append(root + "echo")))
      << log;
  ASSERT_EQ(area->MessageCount(), 1) << log;
  area->GoTo(1);
  ASSERT_EQ(area->current, 2) << "crashmail starts echo areas at 2";
  ASSERT_TRUE(area->LoadMessage());
  EXPECT_EQ(area->FromName(), from);
  EXPECT_EQ(area->ToName(), "\x82\xE1\xA5\xAC");
  EXPECT_EQ(area->Subject(), "HELLO.TXT (1/2)");
  DateTimeRecord dt;
  area->DateWritten(&dt);
  EXPECT_EQ(FormatMsgDate(dt), "05 Jan 01  13:07:09");
  EXPECT_EQ(TextOf(area.get()),
            text + "SEEN-BY: 5020/1 9999\r\x01PATH: 5020/1 9999\r");
  ASSERT_TRUE(CloseMessageArea(&area));
}

}  // namespace
}  // namespace kavel
