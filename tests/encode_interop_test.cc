// Messages posted by /ENCODE into JAM bases, read by an independent reader:
// the npm package fidonet-jam. (crashmail reads the *.MSG postings in the
// round trip tests.)
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <string>
#include <vector>

#include "msgbase/test_support.h"
#include "support/e2e.h"
#include "support/peers.h"
#include "support/posted_messages.h"

namespace kavel::e2e {
namespace {

// 300 lines of 80 bytes with CP866 letters: two sections.
std::string News() {
  std::string file;
  for (int i = 0; i < 300; ++i) {
    file += "line " + std::to_string(1000 + i) + " \x8e\xa1\xe0\xa0\xa7\xa5 " +
            std::string(60, '-') + "\r\n";
  }
  return file;
}

// An echo area that another tosser wrote (the corpus base) and a new
// netmail area: the tosser's messages read exactly as before, ours after
// them with the header fields, subfields and text we wrote.
TEST(EncodeInteropTest, FidonetJamParsesPostedJamMessages) {
  ASSERT_EQ(FidonetJamMissing(), "");
  const std::string corpus = testing_support::CorpusDir();
  ASSERT_TRUE(std::filesystem::is_directory(corpus));
  RunDirectory dir;
  std::filesystem::copy(corpus + "/jam", dir.Join("jam"));
  dir.WriteFile("areas", "EchoArea FOO " + dir.Join("jam/echo") +
                             " -b Jam -a 2:5020/1.5\r\nNetmailArea NET " +
                             dir.Join("jam/net") + " -b Jam\r\n");
  dir.WriteConfig({"FROM John Doe", "TO Jane Roe", "TOADDR 2:5020/9.3",
                   "FROMADDR 2:5020/1", "SUBJ Weekly news",
                   "USEENCODEDSTRINGS yes"});
  dir.WriteFile("news.txt", News());
  const JamDump before = DumpWithFidonetJam(dir.Join("jam/echo"));
  ASSERT_EQ(before.messages.size(), 5u) << before.output;
  ASSERT_EQ(dir.Run({"/ENCODE", "news.txt", "FOO"}).exit_code, 0);
  ASSERT_EQ(dir.Run({"/ENCODE", "news.txt", "NET"}).exit_code, 0);
  for (const std::string area : {"echo", "net"}) {
    SCOPED_TRACE(area);
    const bool netmail = area == "net";
    const std::vector<PostedMessage> posted =
        ReadPostedMessages(std::string("J").append(dir.Join("jam/" + area)));
    const JamDump dump = DumpWithFidonetJam(dir.Join("jam/" + area));
    ASSERT_TRUE(dump.ok) << dump.output;
    const size_t old = netmail ? 0 : 5;
    ASSERT_EQ(dump.messages.size(), old + 2) << dump.output;
    ASSERT_EQ(posted.size(), old + 2);
    if (!netmail) {
      EXPECT_EQ(dump.base.at("activemsgs"), "7");
      EXPECT_EQ(dump.base.at("datecreated"), before.base.at("datecreated"));
      const size_t from = before.output.find("\nmsg ");
      EXPECT_EQ(dump.output.substr(from, before.output.size() - from),
                before.output.substr(from));
    }
    for (size_t i = 0; i < 2; ++i) {
      const JamDumpMessage& m = dump.messages[old + i];
      const PostedMessage& p = posted[old + i];
      auto has = [&m](const std::string& sub) {
        return std::count(m.subfields.begin(), m.subfields.end(), sub) == 1;
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
      EXPECT_TRUE(has("7 \"Tolvex 2.2Beta\""));
      // The begin line, a kludge line at the top, is kept as a kludge
      // subfield; the rest is the stored text.
      const std::string begin =
          "text.begin " + std::to_string(i + 1) + " of 2 of file news.txt";
      EXPECT_TRUE(has("2000 " + JamDumpEscaped(begin))) << dump.output;
      const size_t at = p.text.find("\x01" + begin + "\r");
      ASSERT_NE(at, std::string::npos);
      EXPECT_EQ(m.text, JamDumpEscaped(p.text.substr(at + begin.size() + 2)));
    }
  }
}

}  // namespace
}  // namespace kavel::e2e
