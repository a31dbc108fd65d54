// Messages posted by /ENCODE, read by independent programs: crashmail
// scans them out of a *.MSG echo area into a packet, and the npm reader
// fidonet-jam parses a JAM base.
#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

#include "msgbase/message_area.h"
#include "support/e2e.h"
#include "support/peers.h"
#include "support/posted_messages.h"

namespace kavel::e2e {
namespace {

TEST(EncodeInteropTest, CrashmailScansPostedMsgMessages) {
  const std::string missing = CrashmailMissing();
  if (!missing.empty()) GTEST_SKIP() << missing;
  RunDirectory dir;
  dir.MakeDirectory("msg");
  dir.WriteFile("areas.cfg", "EchoArea FOO " + dir.Join("msg/foo") +
                                 " -b Msg -a 2:5020/1.5 -d \"Foo\"\r\n");
  dir.WriteFile("Kavel.cfg",
                "HPTPATH areas.cfg\r\n"
                "FROM John Doe\r\n"
                "SUBJ Weekly news\r\n"
                "USEENCODEDSTRINGS yes\r\n");
  std::string file;
  for (int i = 0; i < 300; ++i) {
    file += "line " + std::to_string(i) + " \x8e\xa1\xe0\xa0\xa7\xa5\xe6 " +
            std::string(60, '-') + "\r\n";
  }
  dir.WriteFile("news.txt", file);
  ASSERT_EQ(dir.Run({"/ENCODE", "news.txt", "FOO"}).exit_code, 0);
  std::vector<PostedMessage> posted =
      ReadPostedMessages("M" + dir.Join("msg/foo"));
  ASSERT_EQ(posted.size(), 2u);
  // The echo area's first message is 2: crashmail keeps 1.msg as its
  // high-water mark and never exports it.
  EXPECT_EQ(posted[0].number, 2);

  CrashmailScan scan =
      ScanWithCrashmail(dir.Join("cm"), dir.Join("msg/foo"), "FOO");
  ASSERT_TRUE(scan.ok) << scan.log;
  const std::vector<PacketMessage>& scanned = scan.messages;
  ASSERT_EQ(scanned.size(), 2u) << scan.log;
  for (size_t i = 0; i < 2; ++i) {
    const PacketMessage& m = scanned[i];
    EXPECT_EQ(m.from, "John Doe");
    EXPECT_EQ(m.to, "All");
    EXPECT_EQ(m.subject, "[" + std::to_string(i + 1) + "/2] Weekly news");
    EXPECT_EQ(m.date.substr(0, 17), "07 Mar 01  21:05:");
    EXPECT_EQ(m.orig_net, 5020);
    EXPECT_EQ(m.orig_node, 1);
    // The packet text is the stored text between the AREA line and the
    // SEEN-BY line that crashmail adds.
    const std::string area_line = "AREA:FOO\r";
    ASSERT_EQ(m.text.rfind(area_line, 0), 0u) << m.text;
    size_t seen_by = m.text.find("\rSEEN-BY: ");
    ASSERT_NE(seen_by, std::string::npos);
    EXPECT_EQ(m.text.substr(area_line.size(),
                            seen_by + 1 - area_line.size()),
              posted[i].text);
  }
}

TEST(EncodeInteropTest, FidonetJamParsesPostedJamMessages) {
  ASSERT_EQ(FidonetJamMissing(), "");
  RunDirectory dir;
  dir.MakeDirectory("jam");
  dir.WriteFile("areas.cfg",
                "EchoArea FOO " + dir.Join("jam/foo") +
                    " -b Jam -a 2:5020/1.5\r\n"
                    "NetmailArea NET " + dir.Join("jam/net") + " -b Jam\r\n");
  dir.WriteFile("Kavel.cfg",
                "HPTPATH areas.cfg\r\n"
                "FROM John Doe\r\n"
                "TO Jane Roe\r\n"
                "TOADDR 2:5020/9.3\r\n"
                "FROMADDR 2:5020/1\r\n"
                "SUBJ Weekly news\r\n"
                "USEENCODEDSTRINGS yes\r\n");
  std::string file;
  for (int i = 0; i < 300; ++i) {
    file += "line " + std::to_string(i) + " " + std::string(70, '=') + "\r\n";
  }
  dir.WriteFile("news.txt", file);
  ASSERT_EQ(dir.Run({"/ENCODE", "news.txt", "FOO"}).exit_code, 0);
  ASSERT_EQ(dir.Run({"/ENCODE", "news.txt", "NET"}).exit_code, 0);

  for (const char* area : {"foo", "net"}) {
    bool netmail = std::string(area) == "net";
    std::vector<PostedMessage> posted =
        ReadPostedMessages("J" + dir.Join(std::string("jam/") + area));
    ASSERT_EQ(posted.size(), 2u);
    JamDump dump = DumpWithFidonetJam(dir.Join(std::string("jam/") + area));
    ASSERT_TRUE(dump.ok) << dump.output;
    ASSERT_EQ(dump.messages.size(), 2u) << dump.output;
    for (size_t i = 0; i < 2; ++i) {
      const JamDumpMessage& m = dump.messages[i];
      const PostedMessage& p = posted[i];
      const std::vector<std::string>& subs = m.subfields;
      auto has = [&subs](const std::string& sub) {
        return std::find(subs.begin(), subs.end(), sub) != subs.end();
      };
      EXPECT_EQ(m.crc, "msgid=ok tocrc=ok reply=ok");
      // Local, and echomail or netmail by the area's kind; the arrival date
      // is kept as the date processed.
      EXPECT_EQ(m.header.at("attribute"),
                netmail ? "0x02000001" : "0x01000001");
      EXPECT_EQ(m.header.at("dateprocessed"), m.header.at("datewritten"));
      const std::string own = netmail ? "2:5020/1" : "2:5020/1.5";
      // The origin address subfield always names the point.
      EXPECT_TRUE(has("0 " + JamDumpEscaped(netmail ? "2:5020/1.0" : own)));
      EXPECT_TRUE(has("4 " + JamDumpEscaped(own + " " + p.msgid_serial)));
      EXPECT_EQ(has("1 \"2:5020/9.3\""), netmail) << dump.output;
      // The text without the kludge lines that became subfields.
      std::string body = p.text;
      size_t pid = body.find("\x01PID: Tolvex 2.2Beta\r");
      ASSERT_NE(pid, std::string::npos);
      body = body.substr(pid + 21);
      // The begin line, a kludge line at the top, is kept as a kludge
      // subfield; the rest is the stored text.
      std::string begin = "text.begin " + std::to_string(i + 1) +
                          " of 2 of file news.txt";
      EXPECT_TRUE(has("2000 " + JamDumpEscaped(begin))) << dump.output;
      ASSERT_EQ(body.rfind("\x01" + begin + "\r", 0), 0u);
      EXPECT_EQ(m.text, JamDumpEscaped(body.substr(begin.size() + 2)));
    }
  }
}

}  // namespace
}  // namespace kavel::e2e
