// Round trips: a text file posted with /ENCODE and decoded with /DECODE
// comes back byte for byte, in every message-base format, with the framing
// lines sent as text or as kludges, and after crashmail has carried the
// posting from a *.MSG echo area into a *.MSG or JAM one, as a network
// would, beside a uuencoded file that another program posted.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <string>
#include <vector>

#include "support/e2e.h"
#include "support/peers.h"
#include "support/posted_messages.h"

namespace kavel::e2e {
namespace {

// About 1 MB of text with CR LF line ends: lines of every length from 0 to
// 1000 characters and one of 20000, CP866 letters, tabs and blanks, empty lines
// and lines that begin with "...". No line begins with the framing lines' first
// words ("text.begin", "text.end"), holds a control character other than
// the tab, or is a tosser's control line (SEEN-BY, PATH): those cannot
// survive a posting (see README).
std::string MakeTestFile() {
  static const std::string kAlphabet =
      "abcdefghijklmnopqrstuvwxyzABCDEFGHIJKLMNOPQRSTUVWXYZ0123456789"
      ".,;:!?-+*/()[]{}<>\"'@#$%^&=_~|\\`  \t"
      "\x80\x81\x82\x83\x84\x85\x86\x87\x88\x89\x8a\x8b\x8c\x8d\x8e\x8f"
      "\x90\x91\x92\x93\x94\x95\x96\x97\x98\x99\x9a\x9b\x9c\x9d\x9e\x9f"
      "\xa0\xa1\xa2\xa3\xa4\xa5\xa6\xa7\xa8\xa9\xaa\xab\xac\xad\xae\xaf"
      "\xe0\xe1\xe2\xe3\xe4\xe5\xe6\xe7\xe8\xe9\xea\xeb\xec\xed\xee\xef"
      "\xf0\xf1";
  uint32_t seed = 12345;
  auto next = [&seed]() {
    seed = seed * 1103515245u + 12345u;
    return (seed >> 16) & 0x7fff;
  };
  std::string file;
  file.reserve(1100000);
  for (int n = 0; file.size() < 1000000; ++n) {
    std::string line;
    const int length = n % 13 == 7 ? 0 : n % 1001;  // every length in turn
    if (n % 17 == 5) line = "...";
    while (static_cast<int>(line.size()) < length) {
      line += kAlphabet[next() % kAlphabet.size()];
    }
    if (line.size() >= 5 && (line[0] == 't' || line[0] == 'T')) line[0] = 'x';
    file += line;
    file += "\r\n";
  }
  // A line longer than a section, posted whole.
  return file + std::string(20000, 'H') + "\r\n... last line\r\n";
}

TEST(DecodeRoundTripTest, MegabyteFileInEveryFormatTextAndKludgeFraming) {
  const std::string file = MakeTestFile();
  for (const char* format : {"Msg", "Squish", "Jam"}) {
    for (const char* kludge : {"yes", "no"}) {
      SCOPED_TRACE(std::string(format) + " USEASKLUDGE " + kludge);
      RunDirectory dir;
      dir.MakeDirectory("bases");
      dir.WriteFile("areas", "EchoArea TRIP " + dir.Join("bases/trip") +
                                 " -b " + format + " -a 2:5020/1\n");
      dir.WriteConfig({"USEENCODEDSTRINGS yes", "BASETEXTPATH txt",
                       std::string("USEASKLUDGE ") + kludge});
      dir.WriteFile("big.txt", file);
      RunResult post = dir.Run({"/ENCODE", "big.txt", "TRIP"});
      ASSERT_EQ(post.out.find("[err]"), std::string::npos) << post.out;
      RunResult decode = dir.Run({"/DECODE", "TRIP"});
      ASSERT_EQ(decode.out.find("[err]"), std::string::npos) << decode.out;
      EXPECT_TRUE(dir.ReadFile("txt/trip/big.txt") == file)
          << "decoded file differs";
    }
  }
}

// Crashmail scans the *.MSG echo area posted into (read as it was written)
// and tosses the packets
// at the other node into *.MSG or JAM, together with uuencode's output
// written into packets by crashwrite (in three sections, last part first).
// Its JAM writer keeps every 0x01 line as a kludge subfield, so framing
// lines sent as kludges come back ahead of the text.
TEST(DecodeRoundTripTest, PostingCarriedOnByCrashmail) {
  for (const char* tool : {"crashmail", "crashwrite", "uuencode"}) {
    if (!HaveCommand(tool)) GTEST_SKIP() << tool << " is not installed";
  }
  std::string file = MakeTestFile();
  file.resize(file.find("\r\n", 100000) + 2);  // about 100 KB, 7 sections
  std::string binary(40000, '\0');
  for (size_t i = 1; i < binary.size(); ++i)
    binary[i] = static_cast<char>((i * 7919) >> 3);
  const std::pair<const char*, const char*> cases[] = {
      {"no", "MSG"}, {"yes", "JAM"}};  // USEASKLUDGE, crashmail's base type
  for (const auto& [kludge, type] : cases) {
    SCOPED_TRACE(type);
    RunDirectory dir;
    const std::string base = dir.Join(
        std::string(type) == "JAM" ? "jam/ru.linux.relay" : "msg/fooin");
    dir.MakeDirectory("msg");
    dir.MakeDirectory("jam");
    // Crashmail runs an echo area with the packet tag it knows; we post
    // into it and decode the area that the second system tossed it into.
    dir.WriteFile("areas", "EchoArea FOO " + dir.Join("msg/foo") +
                               " -b Msg -a 2:5020/1\nEchoArea FOO.IN " + base +
                               " -b " + type + " -a 2:5020/2\n");
    dir.WriteConfig({"USEENCODEDSTRINGS yes", "BASETEXTPATH txt",
                     "DECODEUUE yes", std::string("USEASKLUDGE ") + kludge});
    dir.WriteFile("news.txt", file);
    ASSERT_EQ(dir.Run({"/ENCODE", "news.txt", "FOO"}).exit_code, 0);
    CrashmailScan scan =
        ScanWithCrashmail(dir.Join("a"), dir.Join("msg/foo"), "FOO");
    ASSERT_TRUE(scan.ok) << scan.log;
    // The packet holds the stored messages, the text between the AREA line
    // and the SEEN-BY line that crashmail adds. The area's first message is
    // 2: crashmail keeps 1.msg as its high-water mark and never exports it.
    const std::vector<PostedMessage> posted =
        ReadPostedMessages(std::string("M").append(dir.Join("msg/foo")));
    ASSERT_EQ(scan.messages.size(), posted.size()) << scan.log;
    EXPECT_EQ(posted[0].number, 2);
    for (size_t i = 0; i < posted.size(); ++i) {
      const PacketMessage& m = scan.messages[i];
      EXPECT_EQ(m.from + m.subject, posted[i].from + posted[i].subject);
      EXPECT_EQ(m.date.substr(0, 17), "07 Mar 01  21:05:");
      EXPECT_EQ(m.orig_net * 100000 + m.orig_node, 502000001);
      const size_t seen_by = m.text.find("\rSEEN-BY: ") + 1;
      EXPECT_EQ(m.text.substr(0, seen_by), "AREA:FOO\r" + posted[i].text);
    }
    for (const std::string& packet : dir.List("a/tmp")) {
      dir.WriteFile("b/in/" + packet, dir.ReadFile("a/tmp/" + packet));
    }
    dir.WriteFile("many.bin", binary);
    int status = 0;
    const std::vector<std::string> lines = Lines(Capture(
        "cd '" + dir.path() + "' && uuencode many.bin many.bin", &status));
    for (int part = 3; part >= 1; --part) {
      std::string text = "section " + std::to_string(part);
      text += " of 3 of file many.bin\n";
      for (size_t i = (part - 1) * 300; i < lines.size() && i < part * 300u;
           ++i)
        text += lines[i] + "\n";
      dir.WriteFile("part", text + "\n");
      Capture("cd '" + dir.path() +
                  "' && crashwrite DIR b/in FROMADDR 2:5020/1 TOADDR 2:5020/2 "
                  "AREA FOO SUBJECT many.bin TEXT part >/dev/null 2>&1",
              &status);
      ASSERT_EQ(status, 0);
    }
    // The other node, whose uplink the first one is.
    const std::string out =
        TossWithCrashmail(dir.Join("b"), "FOO", type, base, &status);
    ASSERT_EQ(status, 0) << out;
    if (std::string(type) == "JAM" && FidonetJamMissing().empty()) {
      // The end lines sent as kludges stayed kludges.
      JamDump dump = DumpWithFidonetJam(base);
      ASSERT_EQ(dump.messages.size(), 7u + 3u) << dump.output;
      int ours = 0;
      for (const JamDumpMessage& m : dump.messages) {
        const auto& subs = m.subfields;
        if (std::count(subs.begin(), subs.end(), "7 \"Tolvex 2.2Beta\"") == 0)
          continue;
        ++ours;
        EXPECT_EQ(std::count(subs.begin(), subs.end(), "2000 \"text.end\""), 1);
      }
      EXPECT_EQ(ours, 7);
    }
    RunResult decode = dir.Run({"/DECODE", "FOO.IN"});
    EXPECT_EQ(decode.out.find("[err]"), std::string::npos) << decode.out;
    EXPECT_TRUE(dir.ReadFile("txt/foo.in/news.txt") == file) << decode.out;
    EXPECT_TRUE(dir.ReadFile("txt/foo.in/many.bin") == binary) << decode.out;
  }
}

}  // namespace
}  // namespace kavel::e2e
