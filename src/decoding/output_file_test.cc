#include "decoding/output_file.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "platform/temp_dir_for_testing.h"
#include "util/cpu_features.h"

namespace kavel {
namespace {

// Lines handed over as a text holds them come out as WriteLine writes each
// of them: CR LF pairs, lone CRs and LFs, empty lines, short and long
// lines, split where the copy's blocks end, and a last line without a CR;
// AppendTextLinesCrLf gives the same bytes; with the AVX2 copy (where the
// processor has it) and without.
TEST(OutputFileTest, TextLinesComeOutAsSingleLines) {
  TempDirForTesting dir;
  uint32_t state = 99;
  auto next = [&state] { return (state = state * 1103515245u + 12345u) >> 16; };
  const char alphabet[] = {'a', '\r', '\n', ' ', '\x01'};
  std::string buffer;  // shared, as the decoder shares it between files
  for (int round = 0; round < 800; ++round) {
    AllowAvx2ForTesting(round < 400);
    std::string text;
    // Some texts longer than AppendTextLinesCrLf's pieces, a few of them
    // with a line longer than a piece.
    const int kind = round % 400;
    const size_t size = kind < 40   ? 17 + kind
                        : kind < 55 ? 8000 + next() % 12000
                                    : 2 + next() % 300;
    const unsigned spread = kind >= 50 && kind < 55 ? 1u << 16
                            : round % 3 == 0        ? 5
                                                    : 40;
    while (text.size() < size) {
      const uint32_t r = next() % spread;
      text += r < 5 ? alphabet[r] : 'x';
    }
    if (round % 2 == 0) text.replace(text.size() - 2, 2, "\r\n");
    std::vector<std::string> lines;
    for (size_t i = 0; i < text.size();) {
      size_t end = text.find('\r', i);
      if (end == std::string::npos) end = text.size();
      lines.push_back(text.substr(i, end - i));
      i = end + 1;
      if (i < text.size() && text[i] == '\n') ++i;
    }
    const std::string n = std::to_string(round);
    OutputFile whole(&buffer), single;
    ASSERT_TRUE(whole.CreateNew(dir.Join("w" + n)));
    ASSERT_TRUE(single.CreateNew(dir.Join("s" + n)));
    whole.WriteTextLines(text);
    for (const std::string& line : lines) single.WriteLine(line);
    EXPECT_EQ(whole.size(), single.size());
    ASSERT_TRUE(whole.Close() && single.Close());
    const std::string written = dir.ReadFile("s" + n);
    ASSERT_EQ(dir.ReadFile("w" + n), written) << round;
    std::string appended = "kept";
    AppendTextLinesCrLf(text, &appended);
    ASSERT_EQ(appended, "kept" + written) << round;
  }
  AllowAvx2ForTesting(true);
}

}  // namespace
}  // namespace kavel
