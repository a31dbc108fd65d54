// Messages posted by /ENCODE, read by independent programs: crashmail
// scans them out of a *.MSG echo area into a packet, and the npm reader
// fidonet-jam parses a JAM base.
#include <gtest/gtest.h>
#include <stdlib.h>

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

#include "msgbase/formats/formats.h"
#include "msgbase/message_area.h"
#include "support/e2e.h"
#include "support/posted_messages.h"

namespace kavel::e2e {
namespace {

bool HaveCommand(const std::string& name) {
  return system(("command -v " + name + " >/dev/null 2>&1").c_str()) == 0;
}

// Output of a shell command, and its exit status in *status.
std::string Capture(const std::string& command, int* status) {
  std::string out;
  FILE* pipe = popen(command.c_str(), "r");
  if (pipe == nullptr) {
    *status = -1;
    return out;
  }
  char buffer[4096];
  size_t got;
  while ((got = fread(buffer, 1, sizeof buffer, pipe)) > 0) {
    out.append(buffer, got);
  }
  *status = pclose(pipe);
  return out;
}

// One message of a type 2 packet (FTS-0001).
struct PacketMessage {
  uint16_t orig_node = 0, dest_node = 0, orig_net = 0, dest_net = 0;
  uint16_t attribute = 0;
  std::string date, to, from, subject, text;
};

uint16_t Word(const std::string& bytes, size_t at) {
  return static_cast<uint16_t>(static_cast<uint8_t>(bytes[at]) |
                               static_cast<uint8_t>(bytes[at + 1]) << 8);
}

// A zero-terminated field at *at; false when the packet ends first.
bool Field(const std::string& bytes, size_t* at, std::string* value) {
  size_t end = bytes.find('\0', *at);
  if (end == std::string::npos) return false;
  *value = bytes.substr(*at, end - *at);
  *at = end + 1;
  return true;
}

// The messages of a packet; stops at the end marker or at damage (which
// the caller sees as missing messages).
std::vector<PacketMessage> ReadPacket(const std::string& bytes) {
  std::vector<PacketMessage> messages;
  size_t at = 58;  // packet header
  while (at + 14 <= bytes.size() && Word(bytes, at) == 2) {
    PacketMessage m;
    m.orig_node = Word(bytes, at + 2);
    m.dest_node = Word(bytes, at + 4);
    m.orig_net = Word(bytes, at + 6);
    m.dest_net = Word(bytes, at + 8);
    m.attribute = Word(bytes, at + 10);
    at += 14;
    if (!Field(bytes, &at, &m.date) || !Field(bytes, &at, &m.to) ||
        !Field(bytes, &at, &m.from) || !Field(bytes, &at, &m.subject) ||
        !Field(bytes, &at, &m.text)) {
      break;
    }
    messages.push_back(m);
  }
  return messages;
}

TEST(EncodeInteropTest, CrashmailScansPostedMsgMessages) {
  if (!HaveCommand("crashmail")) GTEST_SKIP() << "crashmail is not installed";
  RunDirectory dir;
  for (const char* sub : {"msg", "in", "out", "tmp", "netmail", "bad"}) {
    dir.MakeDirectory(sub);
  }
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

  std::string root = dir.path();
  dir.WriteFile("cm.prefs",
                "SYSOP \"Sysop\"\n"
                "LOGFILE \"" + root + "/cm.log\"\n"
                "LOGLEVEL 5\n"
                "DUPEFILE \"" + root + "/dupes\" 200\n"
                "DEFAULTZONE 2\n"
                "INBOUND \"" + root + "/in\"\n"
                "OUTBOUND \"" + root + "/out\"\n"
                "TEMPDIR \"" + root + "/tmp\"\n"
                "CREATEPKTDIR \"" + root + "/tmp\"\n"
                "PACKETDIR \"" + root + "/tmp\"\n"
                "MSG_HIGHWATER\n"
                "AKA 2:5020/1\n"
                "DOMAIN \"FidoNet\"\n"
                "NODE 2:5020/2.0 \"\" \"\"\n"
                "NETMAIL \"NETMAIL\" 2:5020/1 MSG \"" + root + "/netmail\"\n"
                "AREA \"BAD\" 2:5020/1 MSG \"" + root + "/bad\"\n"
                "AREA \"FOO\" 2:5020/1 MSG \"" + root + "/msg/foo\"\n"
                "EXPORT 2:5020/2\n");
  int status = 0;
  std::string out = Capture(
      "cd '" + root + "' && crashmail SETTINGS cm.prefs SCAN 2>&1", &status);
  ASSERT_EQ(status, 0) << out;
  std::vector<std::string> packets = dir.List("tmp");
  ASSERT_EQ(packets.size(), 1u) << out;
  std::vector<PacketMessage> scanned =
      ReadPacket(dir.ReadFile("tmp/" + packets[0]));
  ASSERT_EQ(scanned.size(), 2u) << out;
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

// The dump script's string form of raw bytes.
std::string Escaped(std::string_view bytes) {
  std::string out = "\"";
  for (unsigned char b : bytes) {
    char buffer[8];
    if (b == '\\') {
      out += "\\\\";
    } else if (b == '"') {
      out += "\\\"";
    } else if (b == '\r') {
      out += "\\r";
    } else if (b >= 0x20 && b < 0x7F) {
      out += static_cast<char>(b);
    } else {
      std::snprintf(buffer, sizeof buffer, "\\x%02X", b);
      out += buffer;
    }
  }
  return out + "\"";
}

// The value of `key` in a line of "key=value" words.
std::string ValueOf(const std::string& line, const std::string& key) {
  size_t at = line.find(" " + key + "=");
  if (at == std::string::npos) return "<none>";
  at += key.size() + 2;
  return line.substr(at, line.find(' ', at) - at);
}

TEST(EncodeInteropTest, FidonetJamParsesPostedJamMessages) {
  if (NewJamArea("x") == nullptr) GTEST_SKIP() << "the JAM format is not built in";
  std::string script =
      std::string(KAVEL_SOURCE_DIR) + "/tests/interop/jam_dump.js";
  std::string module =
      std::string(KAVEL_SOURCE_DIR) + "/tests/interop/node_modules/fidonet-jam";
  ASSERT_EQ(system(("test -f '" + script + "' && test -d '" + module + "'")
                       .c_str()),
            0)
      << "run scripts/install_test_deps.sh to install the npm reader";
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
    int status = 0;
    std::string dump = Capture("node '" + script + "' '" +
                                   dir.Join(std::string("jam/") + area) +
                                   "' 2>&1",
                               &status);
    ASSERT_EQ(status, 0) << dump;
    std::vector<std::string> lines = Lines(dump);
    std::vector<std::vector<std::string>> messages;
    for (const std::string& line : lines) {
      if (line.rfind("msg ", 0) == 0) messages.emplace_back();
      if (!messages.empty()) messages.back().push_back(line);
    }
    ASSERT_EQ(messages.size(), 2u) << dump;
    for (size_t i = 0; i < 2; ++i) {
      const std::vector<std::string>& m = messages[i];
      const PostedMessage& p = posted[i];
      std::string header, crc, text;
      std::vector<std::string> subs;
      for (const std::string& line : m) {
        if (line.rfind("header ", 0) == 0) header = line;
        if (line.rfind("crc ", 0) == 0) crc = line;
        if (line.rfind("sub ", 0) == 0) subs.push_back(line.substr(4));
        if (line.rfind("text ", 0) == 0) text = line.substr(5);
      }
      EXPECT_EQ(crc, "crc msgid=ok tocrc=ok reply=ok");
      // Local, and echomail or netmail by the area's kind.
      EXPECT_EQ(ValueOf(header, "attribute"),
                netmail ? "0x02000001" : "0x01000001");
      int written = std::stoi(ValueOf(header, "datewritten"));
      EXPECT_GE(written, 983999109);  // 2001-03-07 21:05:09
      EXPECT_LE(written, 983999115);
      // The arrival date is kept as the date processed.
      EXPECT_EQ(ValueOf(header, "dateprocessed"),
                ValueOf(header, "datewritten"));
      std::string own = netmail ? "2:5020/1" : "2:5020/1.5";
      auto has = [&subs](const std::string& sub) {
        return std::find(subs.begin(), subs.end(), sub) != subs.end();
      };
      // The origin address subfield always names the point.
      EXPECT_TRUE(has("0 " + Escaped(netmail ? "2:5020/1.0" : own))) << dump;
      EXPECT_TRUE(has("2 \"John Doe\"")) << dump;
      EXPECT_TRUE(has("3 \"Jane Roe\"")) << dump;
      EXPECT_TRUE(has("4 " + Escaped(own + " " + p.msgid_serial))) << dump;
      EXPECT_TRUE(has("6 " + Escaped("[" + std::to_string(i + 1) +
                                     "/2] Weekly news")))
          << dump;
      EXPECT_TRUE(has("7 \"Tolvex 2.2Beta\"")) << dump;
      EXPECT_EQ(has("1 \"2:5020/9.3\""), netmail) << dump;
      // The text without the kludge lines that became subfields.
      std::string body = p.text;
      size_t pid = body.find("\x01PID: Tolvex 2.2Beta\r");
      ASSERT_NE(pid, std::string::npos);
      body = body.substr(pid + 21);
      // The begin line, a kludge line at the top, is kept as a kludge
      // subfield; the rest is the stored text.
      std::string begin = "text.begin " + std::to_string(i + 1) +
                          " of 2 of file news.txt";
      EXPECT_TRUE(has("2000 " + Escaped(begin))) << dump;
      ASSERT_EQ(body.rfind("\x01" + begin + "\r", 0), 0u);
      EXPECT_EQ(text, Escaped(body.substr(begin.size() + 2)));
    }
  }
}

}  // namespace
}  // namespace kavel::e2e
