// Round trips: text files and binaries (ENCODEBINARY UUE, DECODEUUE) posted
// with /ENCODE and decoded with /DECODE come back byte for byte, in every
// message-base format, with the framing lines sent as text or as kludges,
// and after crashmail has carried the posting from a *.MSG echo area into a
// *.MSG or JAM one, as a network would, beside a uuencoded file that
// another program posted. uudeview reads the posted uuencoded text.
#include <gtest/gtest.h>

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
  std::string alphabet =
      "abcdefghijklmnopqrstuvwxyzABCDEFGHIJKLMNOPQRSTUVWXYZ0123456789"
      ".,;:!?-+*/()[]{}<>\"'@#$%^&=_~|\\`  \t";
  for (int c = 0x80; c < 0xF2; ++c)
    if (c < 0xB0 || c >= 0xE0) alphabet += static_cast<char>(c);
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
      line += alphabet[next() % alphabet.size()];
    }
    if (line.size() >= 5 && (line[0] == 't' || line[0] == 'T')) line[0] = 'x';
    file += line;
    file += "\r\n";
  }
  // A line longer than a section, posted whole.
  return file + std::string(20000, 'H') + "\r\n... last line\r\n";
}

// `size` pseudo-random bytes, the first of them 0 (so the file is binary).
std::string RandomBinary(size_t size, uint32_t seed) {
  std::string bytes(size, '\0');
  for (size_t i = 1; i < size; ++i) {
    seed = seed * 1103515245u + 12345u;
    bytes[i] = static_cast<char>(seed >> 23);
  }
  return bytes;
}

TEST(DecodeRoundTripTest, TextAndBinariesInEveryFormatAndFraming) {
  std::string all_values;
  for (int i = 0; i < 256; ++i) all_values.push_back(static_cast<char>(i));
  // The 16 KB rule around 259 and 260 whole lines: the count ends exactly
  // with "end", or a section holds only "`" and "end".
  const std::vector<std::pair<std::string, std::string>> files = {
      {"one.bin", std::string(1, '\0')},
      {"l45.bin", RandomBinary(45, 1)},
      {"l46.bin", RandomBinary(46, 2)},
      {"b11655.bin", RandomBinary(259 * 45, 3)},
      {"b11688.bin", RandomBinary(259 * 45 + 33, 4)},
      {"b11700.bin", RandomBinary(260 * 45, 5)},
      {"b11701.bin", RandomBinary(260 * 45 + 1, 6)},
      {"all.bin", all_values},
      {"big.bin", RandomBinary(1 << 20, 7)},
      {"big.txt", MakeTestFile()},
  };
  // USEASKLUDGE; nullptr: no framing lines, binaries decoded by the subject
  // numbers.
  const std::pair<const char*, const char*> cases[] = {
      {"Msg", "yes"}, {"Msg", "no"}, {"Squish", "yes"}, {"Squish", "no"},
      {"Jam", "yes"}, {"Jam", "no"}, {"Jam", nullptr}};
  for (const auto& [format, kludge] : cases) {
    SCOPED_TRACE(std::string(format) + " " + (kludge ? kludge : "none"));
    RunDirectory dir;
    dir.AddArea("TRIP", format);
    dir.WriteConfig(
        {std::string("USEENCODEDSTRINGS ") + (kludge ? "yes" : "no"),
         std::string("USEASKLUDGE ") + (kludge ? kludge : "no"),
         "ENCODEBINARY uue", "DECODEUUE yes", "BASETEXTPATH txt"});
    for (const auto& [name, bytes] : files)
      if (kludge || name.ends_with(".bin")) dir.WriteFile("in/" + name, bytes);
    for (const std::string mask : {"in/*.bin", "in/*.txt"}) {
      if (!kludge && mask.ends_with("txt")) continue;
      RunResult post = dir.Run({"/ENCODE", mask, "TRIP"});
      ASSERT_EQ(post.out.find("[err]"), std::string::npos) << post.out;
    }
    RunResult decode = dir.Run({"/DECODE", "TRIP"});
    ASSERT_EQ(decode.out.find("[err]"), std::string::npos) << decode.out;
    ASSERT_EQ(decode.out.find("Not all"), std::string::npos) << decode.out;
    for (const auto& [name, bytes] : files) {
      if (!kludge && name.ends_with(".txt")) continue;
      EXPECT_TRUE(dir.ReadFile("txt/trip/" + name) == bytes) << name;
    }
  }
}

// Crashmail scans the *.MSG echo area posted into (read as it was written)
// and tosses the packets at the other node into *.MSG or JAM, together
// with uuencode's output written into packets by crashwrite (in three
// sections, last part first). Its JAM writer keeps every 0x01 line as a
// kludge subfield, so framing lines sent as kludges come back ahead of the
// text.
TEST(DecodeRoundTripTest, PostingCarriedOnByCrashmail) {
  for (const char* tool : {"crashmail", "crashwrite", "uuencode"}) {
    if (!HaveCommand(tool)) GTEST_SKIP() << tool << " is not installed";
  }
  std::string file = MakeTestFile();
  file.resize(file.find("\r\n", 100000) + 2);  // about 100 KB, 7 sections
  const std::string binary = RandomBinary(40000, 8);
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
    RunResult decode = dir.Run({"/DECODE", "FOO.IN"});
    EXPECT_EQ(decode.out.find("[err]"), std::string::npos) << decode.out;
    EXPECT_TRUE(dir.ReadFile("txt/foo.in/news.txt") == file) << decode.out;
    EXPECT_TRUE(dir.ReadFile("txt/foo.in/many.bin") == binary) << decode.out;
  }
}

// Framing lines sent as text, which uudeview skips.
TEST(DecodeRoundTripTest, PostedUueIsWhatUuencodeWritesAndUudeviewReadsIt) {
  if (!HaveCommand("uuencode") || !HaveCommand("uudeview")) {
    GTEST_SKIP() << "uuencode or uudeview is not installed";
  }
  RunDirectory dir;
  dir.MakeDirectory("out");
  dir.AddArea("BIN", "Msg");
  dir.WriteConfig({"ENCODEBINARY UUE", "TEARLINE x", "USEASKLUDGE no",
                   "USEENCODEDSTRINGS yes"});
  const std::string file = RandomBinary(100000, 9);
  dir.WriteFile("Data.bin", file);
  int status = 0;
  const std::string uuencoded =
      Capture("cd '" + dir.path() +
                  "' && chmod 644 Data.bin && uuencode Data.bin Data.bin",
              &status);
  ASSERT_EQ(status, 0);
  ASSERT_EQ(dir.Run({"/ENCODE", "Data.bin", "BIN"}).exit_code, 0);
  std::string texts, stripped;  // in message order, CR line ends made LF
  for (const PostedMessage& m :
       ReadPostedMessages(std::string("M").append(dir.Join("bases/BIN"))))
    for (char c : m.text) texts.push_back(c == '\r' ? '\n' : c);
  for (const std::string& line : Lines(texts)) {
    if (!line.empty() && line[0] != '\x01' && !line.starts_with("text.") &&
        line != "--- x" && !line.starts_with(" * Origin:")) {
      stripped += line + "\n";
    }
  }
  EXPECT_TRUE(stripped == uuencoded);
  dir.WriteFile("export.txt", texts);
  Capture("cd '" + dir.path() + "' && uudeview -i -o -q -p out export.txt 2>&1",
          &status);
  EXPECT_TRUE(dir.ReadFile("out/Data.bin") == file);
}

}  // namespace
}  // namespace kavel::e2e
