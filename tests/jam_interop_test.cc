// JAM bases written by this program, read back by an independent reader:
// the npm package fidonet-jam, through tests/interop/jam_dump.js. Every
// message must parse with the header fields, subfields and text we wrote,
// and with correct CRCs.
#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <map>
#include <sstream>
#include <string>
#include <vector>

#include "msgbase/formats/jam_area.h"
#include "msgbase/formats/jam_crc.h"
#include "msgbase/message_area.h"
#include "platform/platform.h"
#include "platform/temp_dir_for_testing.h"

namespace kavel {
namespace {

std::string CorpusDir() {
  const char* env = std::getenv("KAVEL_CORPUS_DIR");
  return env && *env ? env : KAVEL_CORPUS_DIR;
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

struct ReaderMessage {
  std::map<std::string, std::string> header;  // key=value of "header"
  std::string crc;
  std::vector<std::string> subfields;  // "ID \"DATA\""
  std::string text;
};

struct ReaderView {
  std::string error;
  std::map<std::string, std::string> base;
  std::string index;
  std::vector<std::string> lastReads;
  std::vector<ReaderMessage> messages;
  std::vector<std::string> lines;  // the whole dump
};

std::map<std::string, std::string> KeyValues(const std::string& rest) {
  std::map<std::string, std::string> out;
  std::istringstream words(rest);
  std::string word;
  while (words >> word) {
    size_t eq = word.find('=');
    if (eq != std::string::npos) out[word.substr(0, eq)] = word.substr(eq + 1);
  }
  return out;
}

// Runs the reader on the base (path without extension).
ReaderView ReadWithFidonetJam(const std::string& base) {
  ReaderView view;
  std::string script =
      std::string(KAVEL_SOURCE_DIR) + "/tests/interop/jam_dump.js";
  std::string command = "node '" + script + "' '" + base + "' 2>&1";
  FILE* pipe = popen(command.c_str(), "r");
  if (pipe == nullptr) {
    view.error = "cannot run node";
    return view;
  }
  std::string output;
  char buffer[4096];
  size_t n;
  while ((n = fread(buffer, 1, sizeof buffer, pipe)) > 0) output.append(buffer, n);
  int rc = pclose(pipe);
  if (rc != 0) {
    view.error = "reader failed: " + output;
    return view;
  }
  std::istringstream in(output);
  std::string line;
  while (std::getline(in, line)) {
    view.lines.push_back(line);
    std::string kind = line.substr(0, line.find(' '));
    std::string rest = line.substr(std::min(line.size(), kind.size() + 1));
    if (kind == "base") view.base = KeyValues(rest);
    if (kind == "index") view.index = rest;
    if (kind == "lastread") view.lastReads.push_back(rest);
    if (kind == "msg") view.messages.emplace_back();
    if (view.messages.empty()) continue;
    ReaderMessage& m = view.messages.back();
    if (kind == "header") m.header = KeyValues(rest);
    if (kind == "crc") m.crc = rest;
    if (kind == "sub") m.subfields.push_back(rest);
    if (kind == "text") m.text = rest;
  }
  return view;
}

std::string Sub(int id, std::string_view data) {
  return std::to_string(id) + " " + Escaped(data);
}

class JamInteropTest : public ::testing::Test {
 protected:
  void SetUp() override {
    InstallStreamFactories();
    SetClockForTesting([this] {
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
    ASSERT_TRUE(std::filesystem::exists(std::string(KAVEL_SOURCE_DIR) +
                                        "/tests/interop/node_modules/fidonet-jam"))
        << "run scripts/install_test_deps.sh to install the npm reader";
  }
  void TearDown() override { SetClockForTesting({}); }

  TempDirForTesting dir_;
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

  ReaderView view = ReadWithFidonetJam(base);
  ASSERT_EQ(view.error, "");
  EXPECT_EQ(view.base["signature"], "\"JAM\\x00\"");
  EXPECT_EQ(view.base["activemsgs"], "2");
  EXPECT_EQ(view.base["modcounter"], "2");
  EXPECT_EQ(view.base["passwordcrc"], "0xFFFFFFFF");
  EXPECT_EQ(view.base["basemsgnum"], "1");
  EXPECT_EQ(view.index, "size=2");
  EXPECT_EQ(view.lastReads,
            std::vector<std::string>{"usercrc=1 userid=1 lastread=2 highread=2"});
  ASSERT_EQ(view.messages.size(), 2u);

  const ReaderMessage& m1 = view.messages[0];
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
  EXPECT_EQ(m1.text, Escaped("Line one\r\x01text.end\r--- \r"
                             " * Origin: Kavel (2:5020/1)\r"));

  const ReaderMessage& m2 = view.messages[1];
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
  EXPECT_EQ(m2.text,
            Escaped("\x87\xA4\xE0\xA0\xA2\xE1\xE2\xA2\xE3\xA9\xE2\xA5!\r" +
                    long_line + "\r"));
  EXPECT_EQ(std::stoul(m2.header.at("subfieldlen")) > 12288, true);
}

// Appending to a base another tosser wrote: the reader sees the tosser's
// messages exactly as before, and ours after them.
TEST_F(JamInteropTest, AppendingToATosserBase) {
  std::string dir = dir_.Join("jam");
  std::filesystem::copy(CorpusDir() + "/jam", dir);
  ForgetPathCache();
  std::string base = dir + "/echo";
  ReaderView before = ReadWithFidonetJam(base);
  ASSERT_EQ(before.error, "");
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
  ReaderView after = ReadWithFidonetJam(base);
  ASSERT_EQ(after.error, "");
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
  const ReaderMessage& added = after.messages[5];
  EXPECT_EQ(added.crc, "msgid=ok tocrc=ok reply=ok");
  EXPECT_EQ(added.header.at("messagenumber"), "6");
  EXPECT_EQ(added.text, Escaped("Hello from Kavel\r"));
}

}  // namespace
}  // namespace kavel
