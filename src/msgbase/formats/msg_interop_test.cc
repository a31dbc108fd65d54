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
#include "platform/env.h"
#include "util/coding.h"

namespace kavel {
namespace {

using testing_support::ReadFile;
using testing_support::TextOf;
using testing_support::WriteFile;

bool HaveCrashmail() {
  return std::system("command -v crashmail >/dev/null 2>&1") == 0;
}

// Installs the test peers when crashmail is missing (needs root and the
// package archive).
bool EnsureCrashmail() {
  if (HaveCrashmail()) return true;
  std::string script = std::string(KAVEL_SOURCE_DIR) +
                       "/scripts/install_test_deps.sh >/dev/null 2>&1";
  if (std::system(script.c_str()) != 0) return false;
  return HaveCrashmail();
}

// One message of a type-2 packet.
struct PacketMessage {
  uint16_t origNode = 0, destNode = 0, origNet = 0, destNet = 0;
  uint16_t attribute = 0;
  std::string dateTime;  // up to 19 characters
  std::string toName, fromName, subject;
  std::string text;  // lines ending in CR
};

// Packet header (58 bytes) and packed messages, each encoded field by
// field; the packet ends with a zero word.
std::string BuildPacket(const std::vector<PacketMessage>& messages) {
  uint8_t header[58] = {};
  EncodeFixed16(header + 0, 1);       // origin node
  EncodeFixed16(header + 2, 9999);    // destination node
  EncodeFixed16(header + 4, 2001);    // year
  EncodeFixed16(header + 6, 0);       // month, 0-based
  EncodeFixed16(header + 8, 5);       // day
  EncodeFixed16(header + 10, 13);
  EncodeFixed16(header + 12, 7);
  EncodeFixed16(header + 14, 9);
  EncodeFixed16(header + 18, 2);      // packet version
  EncodeFixed16(header + 20, 5020);   // origin net
  EncodeFixed16(header + 22, 5020);   // destination net
  header[24] = 0xFE;                  // product code (low)
  EncodeFixed16(header + 34, 2);      // origin zone
  EncodeFixed16(header + 36, 2);      // destination zone
  EncodeFixed16(header + 40, 0x0100); // capability word, byte-swapped copy
  EncodeFixed16(header + 44, 0x0001); // capability word: type 2+
  EncodeFixed16(header + 46, 2);
  EncodeFixed16(header + 48, 2);
  std::string packet(reinterpret_cast<char*>(header), sizeof header);
  for (const PacketMessage& m : messages) {
    uint8_t fixed[34] = {};
    EncodeFixed16(fixed + 0, 2);
    EncodeFixed16(fixed + 2, m.origNode);
    EncodeFixed16(fixed + 4, m.destNode);
    EncodeFixed16(fixed + 6, m.origNet);
    EncodeFixed16(fixed + 8, m.destNet);
    EncodeFixed16(fixed + 10, m.attribute);
    EncodeFixed16(fixed + 12, 0);
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
    ASSERT_TRUE(EnsureCrashmail()) << "crashmail is not installed";
    for (const char* d : {"in", "out", "tmp", "pkt", "echo", "netmail", "bad"}) {
      std::filesystem::create_directory(dir_.Join(d));
    }
    std::string root = dir_.Join("");
    std::string prefs =
        "SYSOP \"Test Sysop\"\n"
        "LOGFILE \"" + root + "crashmail.log\"\n"
        "LOGLEVEL 6\n"
        "DUPEFILE \"" + root + "dupes\" 200\n"
        "DUPEMODE IGNORE\n"
        "DEFAULTZONE 2\n"
        "INBOUND \"" + root + "in\"\n"
        "OUTBOUND \"" + root + "out\"\n"
        "TEMPDIR \"" + root + "tmp\"\n"
        "CREATEPKTDIR \"" + root + "pkt\"\n"
        "PACKETDIR \"" + root + "out\"\n"
        "STATSFILE \"" + root + "stats\"\n"
        "AKA 2:5020/9999\n"
        "DOMAIN \"FidoNet\"\n"
        "NODE 2:5020/1 \"\" \"\"\n"
        "MSG_HIGHWATER\n"
        "IMPORTSEENBY\n"
        "NETMAIL \"NETMAIL\" 2:5020/9999 MSG \"" + root + "netmail\"\n"
        "AREA \"BAD\" 2:5020/9999 MSG \"" + root + "bad\"\n"
        "AREA \"RU.KAVEL.TEST\" 2:5020/9999 MSG \"" + root + "echo\"\n"
        "EXPORT 2:5020/1\n";
    WriteFile(dir_.Join("crashmail.prefs"), prefs);
  }

  // Runs crashmail with its own settings; true when it exits with 0.
  bool Crashmail(const std::string& args) {
    std::string command = "cd " + dir_.Join("") + " && crashmail SETTINGS " +
                          dir_.Join("crashmail.prefs") + " " + args + " >>" +
                          dir_.Join("crashmail.out") + " 2>&1";
    bool ok = std::system(command.c_str()) == 0;
    Env::Default()->ForgetPathCache();
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
  PacketMessage echo1;
  echo1.origNode = 1;
  echo1.origNet = 5020;
  echo1.destNode = 9999;
  echo1.destNet = 5020;
  echo1.dateTime = "05 Jan 01  13:07:09";
  echo1.fromName = "Ivan Petrov";
  echo1.toName = "All";
  echo1.subject = "HELLO.TXT (1/2)";
  echo1.text = std::string("AREA:RU.KAVEL.TEST\r") +
               "\x01MSGID: 2:5020/1 4b1d0001\r"
               "\x01PID: HarnessPoster 1.0\r"
               "\x01" "CHRS: CP866 2\r"
               "text.begin 1 of 2 of file HELLO.TXT\r" +
               kCyrillicLine + "\r"
               "\r"
               "text.end\r"
               "--- Kavel test\r"
               " * Origin: Kavel harness (2:5020/1)\r"
               "SEEN-BY: 5020/1\r"
               "\x01PATH: 5020/1\r";
  PacketMessage echo2 = echo1;
  echo2.fromName = "\x88\xA2\xA0\xAD \x8F\xA5\xE2\xE0\xAE\xA2";
  echo2.toName = "\x82\xE1\xA5\xAC";
  echo2.subject = "\x8D\xA5\xE2\xAC\xA5\xA9\xAB";
  echo2.dateTime = "31 Dec 99  23:59:58";
  echo2.text = std::string("AREA:RU.KAVEL.TEST\r") +
               "\x01MSGID: 2:5020/1 4b1d0002\r"
               "\x01REPLY: 2:5020/1 4b1d0001\r"
               "Second message.\r"
               " * Origin: Kavel harness (2:5020/1)\r"
               "SEEN-BY: 5020/1\r"
               "\x01PATH: 5020/1\r";
  PacketMessage net;
  net.origNode = 1;
  net.origNet = 5020;
  net.destNode = 9999;
  net.destNet = 5020;
  net.attribute = 0x0001;  // private
  net.dateTime = "06 Dec 26  19:54:32";
  net.fromName = "Point Five";
  net.toName = "Test Sysop";
  net.subject = "Netmail from a point";
  net.text = std::string("\x01INTL 2:5020/9999 2:5020/1\r") +
             "\x01" "FMPT 5\r"
             "\x01MSGID: 2:5020/1.5 4b1d0012\r"
             "Hello Sysop,\r" + kCyrillicLine + "\r";
  WriteFile(dir_.Join("in/0000abcd.pkt"), BuildPacket({echo1, echo2, net}));
  ASSERT_TRUE(Crashmail("TOSS NOSECURITY")) << Log();

  std::unique_ptr<MessageArea> area;
  ASSERT_TRUE(OpenMessageArea(&area, "M" + dir_.Join("echo"))) << Log();
  ASSERT_EQ(area->MessageCount(), 2) << Log();
  area->GoTo(1);
  ASSERT_EQ(area->current, 2) << "crashmail starts echo areas at 2";

  ASSERT_TRUE(area->LoadMessage());
  EXPECT_EQ(area->FromName(), echo1.fromName);
  EXPECT_EQ(area->ToName(), echo1.toName);
  EXPECT_EQ(area->Subject(), echo1.subject);
  DateTimeRecord dt;
  area->DateWritten(&dt);
  EXPECT_EQ(FormatMsgDate(dt), "05 Jan 01  13:07:09");
  FtnAddress orig;
  area->OrigAddress(&orig);
  EXPECT_EQ(AddressToText(orig), "2:5020/1");
  std::string expected1 = echo1.text.substr(19);  // without the AREA line
  expected1.replace(expected1.find("SEEN-BY: 5020/1\r"), 16,
                    "SEEN-BY: 5020/1 9999\r");
  expected1.replace(expected1.find("\x01PATH: 5020/1\r"), 14,
                    "\x01PATH: 5020/1 9999\r");
  EXPECT_EQ(TextOf(area.get()), expected1);
  area->GoNext();
  ASSERT_EQ(area->current, 3);
  ASSERT_TRUE(area->LoadMessage());
  EXPECT_EQ(area->FromName(), echo2.fromName);
  EXPECT_EQ(area->ToName(), echo2.toName);
  EXPECT_EQ(area->Subject(), echo2.subject);
  area->DateWritten(&dt);
  EXPECT_EQ(dt.year, 1999);
  EXPECT_EQ(FormatMsgDate(dt), "31 Dec 99  23:59:58");
  std::string expected2 = echo2.text.substr(19);
  expected2.replace(expected2.find("SEEN-BY: 5020/1\r"), 16,
                    "SEEN-BY: 5020/1 9999\r");
  expected2.replace(expected2.find("\x01PATH: 5020/1\r"), 14,
                    "\x01PATH: 5020/1 9999\r");
  EXPECT_EQ(TextOf(area.get()), expected2);
  ASSERT_TRUE(CloseMessageArea(&area));

  ASSERT_TRUE(OpenMessageArea(&area, "M" + dir_.Join("netmail"))) << Log();
  area->GoTo(1);
  ASSERT_TRUE(area->IsOnMessage()) << Log();
  ASSERT_TRUE(area->LoadMessage());
  EXPECT_EQ(area->FromName(), net.fromName);
  EXPECT_EQ(area->ToName(), net.toName);
  EXPECT_EQ(area->Subject(), net.subject);
  EXPECT_TRUE(area->HasAttribute(kAttrPvt));
  FtnAddress o, d;
  area->ReadAddresses(&o, &d);
  EXPECT_EQ(AddressToText(o), "2:5020/1.5");
  EXPECT_EQ(AddressToText(d), "2:5020/9999");
  std::string text = TextOf(area.get());
  EXPECT_EQ(text.substr(0, net.text.size()), net.text);
  ASSERT_TRUE(CloseMessageArea(&area));
}

}  // namespace
}  // namespace kavel
