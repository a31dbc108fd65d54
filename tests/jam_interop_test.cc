// JAM bases written by this program, read back by an independent reader:
// the npm package fidonet-jam, through tests/interop/jam_dump.js. Every
// message must parse with the header fields, subfields and text we wrote,
// and with correct CRCs.
#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <vector>

#include "msgbase/formats/jam_area.h"
#include "msgbase/formats/jam_crc.h"
#include "msgbase/message_area.h"
#include "platform/env.h"
#include "platform/platform.h"
#include "platform/temp_dir_for_testing.h"
#include "support/e2e.h"
#include "support/peers.h"

namespace kavel::e2e {
namespace {

std::string Sub(int id, std::string_view data) {
  return std::to_string(id) + " " + JamDumpEscaped(data);
}

class JamInteropTest : public ::testing::Test {
 protected:
  void SetUp() override {
    env_.set_clock([this] {
      ClockReading r;
      r.year = 2026;
      r.month = 12;
      r.day = 6;
      r.hour = 21;
      r.minute = 30;
      r.second = 0;
      r.hundredths = static_cast<uint16_t>(++ticks_ % 100);
      return r;
    });
    ASSERT_EQ(FidonetJamMissing(), "");
  }
  TempDirForTesting dir_;
  FakeClockEnv env_{Env::Default()};
  ScopedEnv scoped_{&env_};
  int ticks_ = 0;
};

TEST_F(JamInteropTest, MessagesWeWriteParseWithFidonetJam) {
  std::string base = dir_.Join("Echo");
  std::string long_line(3000, 'w');
  std::vector<std::string> seen_by;
  for (int i = 0; i < 700; ++i) {
    seen_by.push_back("5020/" + std::to_string(i) + " " + std::to_string(i + 1000));
  }
  {
    JamArea area("");
    ASSERT_TRUE(area.CreateArea(base));
    area.SetAreaFlag(kJamAreaFlagEcho, true);

    // 1: a posted section, framing lines as kludges.
    ASSERT_TRUE(area.AddMessage());
    area.SetOrigAddress(FtnAddress{2, 5020, 1, 0}, true);
    area.SetFromName("Ivan Petrov");
    area.SetToName("All");
    area.SetSubject("HELLO.TXT (1/1)");
    area.SetAttribute(kAttrLoc, true);
    area.WriteLine("\x01PID: Tolvex 2.2Beta");
    area.WriteLine("\x01text.begin 1 of 1 of file HELLO.TXT");
    area.WriteLine("Line one");
    area.WriteLine("\x01text.end");
    area.WriteLine("--- ");
    area.WriteLine(" * Origin: Kavel (2:5020/1)");
    ASSERT_TRUE(area.StoreMessage());
    area.ReleaseMessage();

    // 2: a reply in CP866 with many SEEN-BY lines, a Via, a long line.
    ASSERT_TRUE(area.AddMessage());
    area.SetFromName("\x88\xA2\xA0\xAD \x8F\xA5\xE2\xE0\xAE\xA2");
    area.SetToName("\x82\xE1\xA5\xAC");
    area.SetSubject("\x8F\xE0\xA8\xA2\xA5\xE2, \xAC\xA8\xE0");
    area.SetAttribute(kAttrPvt, true);
    area.SetAttribute(kAttrSnt, true);
    area.WriteLine("\x01MSGID: 2:5020/1.5 4b1d0012");
    area.WriteLine("\x01REPLY: 2:5020/9999 4b1d00ff");
    area.WriteLine("\x01" "CHRS: CP866 2");
    area.WriteLine("\x01" "FLAGS DIR");
    area.WriteLine("\x87\xA4\xE0\xA0\xA2\xE1\xE2\xA2\xE3\xA9\xE2\xA5!");
    area.WriteLineRaw(long_line);
    area.WriteLine("\x01Via 2:5020/1 @20240101.121000.UTC Kavel");
    for (const std::string& s : seen_by) area.WriteLine("SEEN-BY: " + s);
    area.WriteLine("\x01PATH: 5020/1");
    ASSERT_TRUE(area.StoreMessage());
    area.ReleaseMessage();
    ASSERT_TRUE(area.StoreLastRead(1, 2));
    area.CloseArea();
  }

  JamDump view = DumpWithFidonetJam(base);
  ASSERT_TRUE(view.ok) << view.output;
  EXPECT_EQ(view.base["signature"], "\"JAM\\x00\"");
  EXPECT_EQ(view.base["activemsgs"], "2");
  EXPECT_EQ(view.base["modcounter"], "2");
  EXPECT_EQ(view.base["passwordcrc"], "0xFFFFFFFF");
  EXPECT_EQ(view.base["basemsgnum"], "1");
  EXPECT_EQ(view.index, "size=2");
  EXPECT_EQ(view.last_reads, std::vector<std::string>{
                                 "usercrc=1 userid=1 lastread=2 highread=2"});
  ASSERT_EQ(view.messages.size(), 2u);

  const JamDumpMessage& m1 = view.messages[0];
  EXPECT_EQ(m1.crc, "msgid=ok tocrc=ok reply=ok");
  EXPECT_EQ(m1.header.at("signature"), "\"JAM\\x00\"");
  EXPECT_EQ(m1.header.at("revision"), "1");
  EXPECT_EQ(m1.header.at("messagenumber"), "1");
  EXPECT_EQ(m1.header.at("attribute"), "0x01000001");  // Local, TypeEcho
  EXPECT_EQ(m1.header.at("datewritten"), "1796592600");
  EXPECT_EQ(m1.header.at("replycrc"), "0xFFFFFFFF");
  EXPECT_EQ(m1.header.at("passwordcrc"), "0xFFFFFFFF");
  EXPECT_EQ(m1.header.at("offset"), "0");
  ASSERT_EQ(m1.subfields.size(), 8u);
  EXPECT_EQ(m1.subfields[0], Sub(2, "Ivan Petrov"));
  EXPECT_EQ(m1.subfields[1], Sub(0, "2:5020/1.0"));
  EXPECT_EQ(m1.subfields[2], Sub(3, "All"));
  EXPECT_EQ(m1.subfields[3], Sub(1, "2:5020/1.0"));
  EXPECT_EQ(m1.subfields[4], Sub(6, "HELLO.TXT (1/1)"));
  EXPECT_EQ(m1.subfields[5].substr(0, 12), "4 \"2:5020/1 ");  // new serial
  EXPECT_EQ(m1.subfields[6], Sub(7, "Tolvex 2.2Beta"));
  EXPECT_EQ(m1.subfields[7], Sub(2000, "text.begin 1 of 1 of file HELLO.TXT"));
  EXPECT_EQ(m1.text, JamDumpEscaped("Line one\r\x01text.end\r--- \r"
                                    " * Origin: Kavel (2:5020/1)\r"));

  const JamDumpMessage& m2 = view.messages[1];
  EXPECT_EQ(m2.crc, "msgid=ok tocrc=ok reply=ok");
  EXPECT_EQ(m2.header.at("messagenumber"), "2");
  EXPECT_EQ(m2.header.at("attribute"), "0x01000014");  // Pvt, Sent, TypeEcho
  EXPECT_EQ(m2.header.at("msgidcrc"), "0x51E5CFAC");   // as the tosser wrote
  EXPECT_EQ(m2.header.at("replycrc"), "0xB65F39A4");
  std::vector<std::string> want = {
      Sub(2, "\x88\xA2\xA0\xAD \x8F\xA5\xE2\xE0\xAE\xA2"),
      Sub(0, "2:5020/1.5"),
      Sub(3, "\x82\xE1\xA5\xAC"),
      Sub(1, "2:5020/1.5"),
      Sub(6, "\x8F\xE0\xA8\xA2\xA5\xE2, \xAC\xA8\xE0"),
      Sub(4, "2:5020/1.5 4b1d0012"),
      Sub(5, "2:5020/9999 4b1d00ff"),
      Sub(2000, "CHRS: CP866 2"),
      Sub(2003, "DIR"),
      Sub(8, "2:5020/1 @20240101.121000.UTC Kavel")};
  for (const std::string& s : seen_by) want.push_back(Sub(2001, s));
  want.push_back(Sub(2002, "5020/1"));
  EXPECT_EQ(m2.subfields, want);
  EXPECT_EQ(m2.text, JamDumpEscaped(
                         "\x87\xA4\xE0\xA0\xA2\xE1\xE2\xA2\xE3\xA9\xE2\xA5!\r" +
                         long_line + "\r"));
  EXPECT_EQ(std::stoul(m2.header.at("subfieldlen")) > 12288, true);
}

// Appending to a base another tosser wrote: the reader sees the tosser's
// messages exactly as before, and ours after them.
TEST_F(JamInteropTest, AppendingToATosserBase) {
  std::string dir = dir_.Join("jam");
  std::filesystem::copy(CorpusDir() + "/jam", dir);
  Env::Default()->ForgetPathCache();
  std::string base = dir + "/echo";
  JamDump before = DumpWithFidonetJam(base);
  ASSERT_TRUE(before.ok) << before.output;
  ASSERT_EQ(before.messages.size(), 5u);
  {
    std::unique_ptr<MessageArea> area;
    ASSERT_TRUE(OpenOrCreateMessageArea(&area, "J" + base));
    ASSERT_TRUE(area->AddMessage());
    area->SetOrigAddress(FtnAddress{2, 5020, 1, 0}, true);
    area->SetFromName("Kavel");
    area->SetToName("All");
    area->SetSubject("Appended");
    area->WriteLine("Hello from Kavel");
    ASSERT_TRUE(area->StoreMessage());
    ASSERT_TRUE(CloseMessageArea(&area));
  }
  JamDump after = DumpWithFidonetJam(base);
  ASSERT_TRUE(after.ok) << after.output;
  EXPECT_EQ(after.base["activemsgs"], "6");
  EXPECT_EQ(after.base["modcounter"], "7");
  EXPECT_EQ(after.base["datecreated"], before.base["datecreated"]);
  ASSERT_EQ(after.messages.size(), 6u);
  // Everything the reader shows of the five old messages (the lines after
  // the base and index lines) is unchanged.
  std::vector<std::string> old_before(before.lines.begin() + 2,
                                      before.lines.end());
  std::vector<std::string> old_after(after.lines.begin() + 2,
                                     after.lines.begin() + 2 +
                                         static_cast<long>(old_before.size()));
  EXPECT_EQ(old_after, old_before);
  const JamDumpMessage& added = after.messages[5];
  EXPECT_EQ(added.crc, "msgid=ok tocrc=ok reply=ok");
  EXPECT_EQ(added.header.at("messagenumber"), "6");
  EXPECT_EQ(added.text, JamDumpEscaped("Hello from Kavel\r"));
}

}  // namespace
}  // namespace kavel::e2e
