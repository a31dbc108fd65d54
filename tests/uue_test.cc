// Binary files through message areas as uuencoded text: posted with
// ENCODEBINARY UUE and decoded with DECODEUUE in every message-base format,
// read by uudeview, and uuencode's own output carried in by crashmail.
#include <gtest/gtest.h>

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "msgbase/byte_stream.h"
#include "msgbase/message_area.h"
#include "support/e2e.h"
#include "support/peers.h"
#include "support/posted_messages.h"

namespace kavel::e2e {
namespace {

// `size` pseudo-random bytes, the first of them 0 (so the file is binary).
std::string RandomBinary(size_t size, uint32_t seed) {
  std::string bytes(size, '\0');
  for (size_t i = 1; i < size; ++i) {
    seed = seed * 1103515245u + 12345u;
    bytes[i] = static_cast<char>(seed >> 23);
  }
  return bytes;
}

TEST(UueTest, BinariesRoundTripInEveryFormat) {
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
      {"big.bin", RandomBinary(3 << 20, 7)},
  };
  // Framing as kludges, as text, and none (decoded by the subject numbers).
  const struct {
    const char *word, *letter, *framing;
  } formats[] = {{"Msg", "M", "USEENCODEDSTRINGS yes\r\nUSEASKLUDGE yes"},
                 {"Squish", "S", "USEENCODEDSTRINGS yes\r\nUSEASKLUDGE no"},
                 {"Jam", "J", "USEENCODEDSTRINGS no"}};
  for (const auto& format : formats) {
    SCOPED_TRACE(format.word);
    std::unique_ptr<MessageArea> probe;
    if (!CreateAreaObject(&probe, std::string(format.letter) + "/x")) continue;
    RunDirectory dir;
    dir.MakeDirectory("bases");
    dir.WriteFile("areas", "EchoArea BIN " + dir.Join("bases/bin") + " -b " +
                               format.word + " -a 2:5020/1\n");
    dir.WriteFile("Kavel.cfg", std::string("HPTPATH areas\r\n") +
                                   format.framing +
                                   "\r\nENCODEBINARY uue\r\nDECODEUUE yes\r\n"
                                   "BASETEXTPATH txt\r\n");
    for (const auto& [name, bytes] : files) dir.WriteFile("in/" + name, bytes);
    RunResult post = dir.Run({"/ENCODE", "in/*.bin", "BIN"});
    ASSERT_EQ(post.out.find("[err]"), std::string::npos) << post.out;
    RunResult decode = dir.Run({"/DECODE", "BIN"});
    ASSERT_EQ(decode.out.find("[err]"), std::string::npos) << decode.out;
    ASSERT_EQ(decode.out.find("Not all"), std::string::npos) << decode.out;
    for (const auto& [name, bytes] : files) {
      EXPECT_TRUE(dir.ReadFile("txt/bin/" + name) == bytes) << name;
    }
  }
}

TEST(UueTest, PostedTextIsWhatUuencodeWritesAndUudeviewReadsIt) {
  if (!HaveCommand("uuencode") || !HaveCommand("uudeview")) {
    GTEST_SKIP() << "uuencode or uudeview is not installed";
  }
  for (const char* framing : {"USEENCODEDSTRINGS no",
                              "USEASKLUDGE no\r\n"
                              "USEENCODEDSTRINGS yes"}) {
    SCOPED_TRACE(framing);
    RunDirectory dir;
    dir.MakeDirectory("bases");
    dir.MakeDirectory("out");
    dir.WriteFile("areas",
                  "EchoArea BIN " + dir.Join("bases/bin") + " -b Msg\n");
    dir.WriteFile("Kavel.cfg", std::string("HPTPATH areas\r\nENCODEBINARY "
                                           "UUE\r\nTEARLINE x\r\n") +
                                   framing + "\r\n");
    const std::string file = RandomBinary(100000, 9);
    dir.WriteFile("Data.bin", file);
    int status = 0;
    const std::string uuencoded =
        Capture("cd '" + dir.path() +
                    "' && chmod 644 Data.bin && uuencode Data.bin Data.bin",
                &status);
    ASSERT_EQ(status, 0);
    ASSERT_EQ(dir.Run({"/ENCODE", "Data.bin", "BIN"}).exit_code, 0);
    std::string texts;  // in message order, CR line ends made LF
    for (const PostedMessage& m :
         ReadPostedMessages(std::string("M").append(dir.Join("bases/bin")))) {
      for (char c : m.text) texts.push_back(c == '\r' ? '\n' : c);
    }
    std::string stripped;
    for (const std::string& line : Lines(texts)) {
      if (line.empty() || line[0] == '\x01' || line.rfind("text.", 0) == 0 ||
          line == "--- x" || line.rfind(" * Origin:", 0) == 0) {
        continue;
      }
      stripped += line + "\n";
    }
    EXPECT_TRUE(stripped == uuencoded);
    dir.WriteFile("export.txt", texts);
    Capture(
        "cd '" + dir.path() + "' && uudeview -i -o -q -p out export.txt 2>&1",
        &status);
    EXPECT_TRUE(dir.ReadFile("out/Data.bin") == file);
  }
}

TEST(UueTest, UuencodeCarriedInByCrashmailIsDecoded) {
  if (!HaveCommand("uuencode") || !HaveCommand("crashwrite") ||
      !CrashmailMissing().empty()) {
    GTEST_SKIP() << "uuencode or crashmail is not installed";
  }
  RunDirectory dir;
  for (const char* sub :
       {"msg/foo", "b/in", "b/out", "b/tmp", "b/nm", "b/bad"}) {
    dir.MakeDirectory(sub);
  }
  const std::string b = dir.Join("b");
  std::string prefs =
      "AKA 2:5020/2\nNODE 2:5020/1.0 \"\" \"\"\n"
      "AREA \"FOO\" 2:5020/2 MSG \"" +
      dir.Join("msg/foo") + "\"\nEXPORT 2:5020/1.0\nLOGFILE \"" + b +
      "/cm.log\"\n"
      "NETMAIL \"NETMAIL\" 2:5020/2 MSG \"" +
      b +
      "/nm\"\n"
      "AREA \"BAD\" 2:5020/2 MSG \"" +
      b + "/bad\"\n";
  for (const char* key : {"INBOUND in", "OUTBOUND out", "TEMPDIR tmp",
                          "CREATEPKTDIR tmp", "PACKETDIR tmp"}) {
    const std::string kv = key;
    prefs += kv.substr(0, kv.find(' ')) + " \"" + b + "/" +
             kv.substr(kv.find(' ') + 1) + "\"\n";
  }
  dir.WriteFile("b/cm.prefs", prefs);
  dir.WriteFile("areas", "EchoArea FOO " + dir.Join("msg/foo") + " -b Msg\n");
  dir.WriteFile("Kavel.cfg",
                "HPTPATH areas\r\nDECODEUUE yes\r\nBASETEXTPATH txt\r\n");
  const std::string one = RandomBinary(3000, 10);
  const std::string many = RandomBinary(40000, 11);
  dir.WriteFile("one.bin", one);
  dir.WriteFile("many.bin", many);
  int status = 0;
  const std::string many_uue =
      Capture("cd '" + dir.path() +
                  "' && uuencode one.bin one.bin > one.uue && "
                  "uuencode many.bin many.bin",
              &status);
  ASSERT_EQ(status, 0);
  // Three parts of about 300 lines, written last part first.
  const std::vector<std::string> lines = Lines(many_uue);
  std::vector<std::string> writes = {"SUBJECT one.bin TEXT one.uue"};
  for (int part = 3; part >= 1; --part) {
    std::string text = "section ";
    text += std::to_string(part);
    text += " of 3 of file many.bin\n";
    for (size_t i = (part - 1) * 300; i < lines.size() && i < part * 300u;
         ++i) {
      text += lines[i] + "\n";
    }
    const std::string name = "part" + std::to_string(part);
    dir.WriteFile(name, text + "\n");
    writes.push_back("SUBJECT many.bin TEXT " + name);
  }
  for (const std::string& w : writes) {
    Capture("cd '" + dir.path() +
                "' && crashwrite DIR b/in FROMADDR 2:5020/1 TOADDR 2:5020/2 "
                "AREA FOO " +
                w + " >/dev/null 2>&1",
            &status);
    ASSERT_EQ(status, 0) << w;
  }
  const std::string toss = Capture(
      "cd '" + b + "' && crashmail SETTINGS cm.prefs TOSS 2>&1", &status);
  ASSERT_EQ(status, 0) << toss;
  RunResult decode = dir.Run({"/DECODE", "FOO"});
  EXPECT_EQ(decode.out.find("[err]"), std::string::npos) << decode.out;
  EXPECT_TRUE(dir.ReadFile("txt/foo/one.bin") == one) << decode.out << toss;
  EXPECT_TRUE(dir.ReadFile("txt/foo/many.bin") == many) << decode.out;
}

}  // namespace
}  // namespace kavel::e2e
