// Interoperability with a live peer: the crashmail tosser tosses a packet
// built here into *.MSG areas that MsgArea then reads. (Its scan of areas
// this program wrote is checked end to end.)
#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

#include "msgbase/formats/msg_area.h"
#include "msgbase/test_support.h"
#include "util/coding.h"

namespace kavel {
namespace {

using testing_support::ReadFile;
using testing_support::TextOf;
using testing_support::WriteFile;

// One message of a type-2 packet.
// From 2:5020/1 to 2:5020/9999.
struct PacketMessage {
  uint16_t attribute;
  std::string dateTime;  // up to 19 characters
  std::string toName, fromName, subject;
  std::string text;  // lines ending in CR
};

// Packet header (58 bytes) and packed messages, each encoded field by
// field; the packet ends with a zero word.
std::string BuildPacket(const std::vector<PacketMessage>& messages) {
  // Origin 2:5020/1, destination 2:5020/9999, 5 Jan 2001 13:07:09 (month
  // 0-based), version 2, product 0xFE, capability word 1 and its swapped
  // copy.
  uint8_t header[58] = {};
  const std::pair<size_t, uint16_t> fields[] = {
      {0, 1},  {2, 9999},    {4, 2001},  {8, 5},     {10, 13},   {12, 7},
      {14, 9}, {18, 2},      {20, 5020}, {22, 5020}, {24, 0xFE}, {34, 2},
      {36, 2}, {40, 0x0100}, {44, 1},    {46, 2},    {48, 2}};
  for (const auto& [at, value] : fields) EncodeFixed16(header + at, value);
  std::string packet(reinterpret_cast<char*>(header), sizeof header);
  for (const PacketMessage& m : messages) {
    uint8_t fixed[34] = {};
    const uint16_t words[] = {2, 1, 9999, 5020, 5020, m.attribute};
    for (size_t i = 0; i < 6; ++i) EncodeFixed16(fixed + 2 * i, words[i]);
    EncodeFixedString(fixed + 14, 20, m.dateTime);
    packet.append(reinterpret_cast<char*>(fixed), sizeof fixed);
    for (const std::string* s : {&m.toName, &m.fromName, &m.subject, &m.text}) {
      packet.append(*s);
      packet.push_back('\0');
    }
  }
  packet.append(2, '\0');
  return packet;
}

class CrashmailTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_EQ(std::system("command -v crashmail >/dev/null"), 0)
        << "crashmail is not installed (scripts/install_test_deps.sh)";
    InstallStreamFactories();
    for (const char* d :
         {"in", "out", "tmp", "pkt", "echo", "netmail", "bad"}) {
      std::filesystem::create_directory(dir_.Join(d));
    }
    std::string root = dir_.Join("");
    std::string prefs =
        "SYSOP \"Test Sysop\"\n"
        "LOGFILE \"" +
        root +
        "crashmail.log\"\n"
        "LOGLEVEL 6\n"
        "DUPEFILE \"" +
        root +
        "dupes\" 200\n"
        "DUPEMODE IGNORE\n"
        "DEFAULTZONE 2\n"
        "INBOUND \"" +
        root +
        "in\"\n"
        "OUTBOUND \"" +
        root +
        "out\"\n"
        "TEMPDIR \"" +
        root +
        "tmp\"\n"
        "CREATEPKTDIR \"" +
        root +
        "pkt\"\n"
        "PACKETDIR \"" +
        root +
        "out\"\n"
        "STATSFILE \"" +
        root +
        "stats\"\n"
        "AKA 2:5020/9999\n"
        "DOMAIN \"FidoNet\"\n"
        "NODE 2:5020/1 \"\" \"\"\n"
        "MSG_HIGHWATER\n"
        "IMPORTSEENBY\n"
        "NETMAIL \"NETMAIL\" 2:5020/9999 MSG \"" +
        root +
        "netmail\"\n"
        "AREA \"BAD\" 2:5020/9999 MSG \"" +
        root +
        "bad\"\n"
        "AREA \"RU.KAVEL.TEST\" 2:5020/9999 MSG \"" +
        root +
        "echo\"\n"
        "EXPORT 2:5020/1\n";
    WriteFile(dir_.Join("crashmail.prefs"), prefs);
  }

  // Runs crashmail with its own settings; true when it exits with 0.
  bool Crashmail(const std::string& args) {
    std::string command = "cd " + dir_.Join("") + " && crashmail SETTINGS " +
                          dir_.Join("crashmail.prefs") + " " + args + " >>" +
                          dir_.Join("crashmail.out") + " 2>&1";
    bool ok = std::system(command.c_str()) == 0;
    ForgetPathCache();
    return ok;
  }

  std::string Log() {
    return ReadFile(dir_.Join("crashmail.out")) +
           ReadFile(dir_.Join("crashmail.log"));
  }

  TempDirForTesting dir_;
};

const char kCyrillicLine[] =
    "\x8F\xE0\xA8\xA2\xA5\xE2, \xAC\xA8\xE0! \x8D\xA5\xE2 \xAF\xE0\xAE"
    "\xA1\xAB\xA5\xAC: \xA0\xA1\xA2\xA3 \xE0\xE1\xE2\xE3 \xF1\xF0";

TEST_F(CrashmailTest, TossedMessagesReadExactly) {
  const PacketMessage echo1{
      0,
      "05 Jan 01  13:07:09",
      "\x82\xE1\xA5\xAC",
      "\x88\xA2\xA0\xAD \x8F\xA5\xE2\xE0\xAE\xA2",
      "HELLO.TXT (1/2)",
      std::string("AREA:RU.KAVEL.TEST\r") +
          "\x01MSGID: 2:5020/1 4b1d0001\r\x01"
          "CHRS: CP866 2\r"
          "text.begin 1 of 2 of file HELLO.TXT\r" +
          kCyrillicLine +
          "\r\rtext.end\r--- Kavel test\r"
          " * Origin: Kavel harness (2:5020/1)\rSEEN-BY: 5020/1\r"
          "\x01PATH: 5020/1\r"};
  const PacketMessage net{
      0x0001 /* private */,
      "06 Dec 26  19:54:32",
      "Test Sysop",
      "Point Five",
      "Netmail from a point",
      std::string("\x01INTL 2:5020/9999 2:5020/1\r\x01"
                  "FMPT 5\r"
                  "\x01MSGID: 2:5020/1.5 4b1d0012\rHello Sysop,\r") +
          kCyrillicLine + "\r"};
  WriteFile(dir_.Join("in/0000abcd.pkt"), BuildPacket({echo1, net}));
  ASSERT_TRUE(Crashmail("TOSS NOSECURITY")) << Log();

  std::unique_ptr<MessageArea> area;
  ASSERT_TRUE(
      OpenMessageArea(&area, std::string("M").append(dir_.Join("echo"))))
      << Log();
  ASSERT_EQ(area->MessageCount(), 1) << Log();
  area->GoTo(1);
  ASSERT_EQ(area->current, 2) << "crashmail starts echo areas at 2";

  ASSERT_TRUE(area->LoadMessage());
  EXPECT_EQ(area->FromName(), echo1.fromName);
  EXPECT_EQ(area->ToName(), echo1.toName);
  EXPECT_EQ(area->Subject(), echo1.subject);
  DateTimeRecord dt;
  area->DateWritten(&dt);
  EXPECT_EQ(FormatMsgDate(dt), "05 Jan 01  13:07:09");
  std::string expected1 = echo1.text.substr(19);  // without the AREA line
  expected1.replace(expected1.find("SEEN-BY: 5020/1\r"), 16,
                    "SEEN-BY: 5020/1 9999\r");
  expected1.replace(expected1.find("\x01PATH: 5020/1\r"), 14,
                    "\x01PATH: 5020/1 9999\r");
  EXPECT_EQ(TextOf(area.get()), expected1);
  ASSERT_TRUE(CloseMessageArea(&area));

  ASSERT_TRUE(
      OpenMessageArea(&area, std::string("M").append(dir_.Join("netmail"))))
      << Log();
  area->GoTo(1);
  ASSERT_TRUE(area->IsOnMessage()) << Log();
  ASSERT_TRUE(area->LoadMessage());
  EXPECT_EQ(area->FromName(), net.fromName);
  EXPECT_TRUE(area->HasAttribute(kAttrPvt));
  FtnAddress o, d;
  area->ReadAddresses(&o, &d);
  EXPECT_EQ(AddressToText(o), "2:5020/1.5");
  EXPECT_EQ(AddressToText(d), "2:5020/9999");
  EXPECT_EQ(TextOf(area.get()).substr(0, net.text.size()), net.text);
  ASSERT_TRUE(CloseMessageArea(&area));
}

}  // namespace
}  // namespace kavel
