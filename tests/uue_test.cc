// Binary files through message areas as uuencoded text: posted with
// ENCODEBINARY UUE and decoded with DECODEUUE in every message-base format,
// and read by uudeview.
#include <gtest/gtest.h>

#include <cstdint>
#include <string>
#include <vector>

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
    const char *word, *framing;
  } formats[] = {{"Msg", "USEENCODEDSTRINGS yes\r\nUSEASKLUDGE yes"},
                 {"Squish", "USEENCODEDSTRINGS yes\r\nUSEASKLUDGE no"},
                 {"Jam", "USEENCODEDSTRINGS no"}};
  for (const auto& format : formats) {
    SCOPED_TRACE(format.word);
    RunDirectory dir;
    dir.MakeDirectory("bases");
    dir.WriteFile("areas", "EchoArea BIN " + dir.Join("bases/bin") + " -b " +
                               format.word + " -a 2:5020/1\n");
    dir.WriteConfig({format.framing, "ENCODEBINARY uue", "DECODEUUE yes",
                     "BASETEXTPATH txt"});
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

// Framing lines sent as text, which uudeview skips.
TEST(UueTest, PostedTextIsWhatUuencodeWritesAndUudeviewReadsIt) {
  if (!HaveCommand("uuencode") || !HaveCommand("uudeview")) {
    GTEST_SKIP() << "uuencode or uudeview is not installed";
  }
  RunDirectory dir;
  dir.MakeDirectory("out");
  dir.MakeDirectory("bases");
  dir.WriteFile("areas", "EchoArea BIN " + dir.Join("bases/bin") + " -b Msg\n");
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
       ReadPostedMessages(std::string("M").append(dir.Join("bases/bin"))))
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
