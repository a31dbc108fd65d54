#include "msgbase/message_text.h"

#include <gtest/gtest.h>

#include <memory>
#include <optional>
#include <string>

#include "msgbase/byte_stream.h"
#include "platform/env.h"
#include "util/cpu_features.h"

namespace kavel {
namespace {

using LineList = std::vector<std::string>;

class MessageTextTest : public ::testing::Test {
 protected:
  void SetText(const std::string& bytes) {
    text_ = std::make_unique<MemoryStream>();
    text_->Write(bytes.data(), static_cast<uint16_t>(bytes.size()));
    text_->Seek(0);
  }
  std::string Bytes() {
    std::string out(static_cast<size_t>(text_->Size()), '\0');
    text_->Seek(0);
    text_->Read(out.data(), static_cast<uint16_t>(out.size()));
    return out;
  }
  // The lines that ReadTextLine gives; *positions (when given) receives
  // where each starts, and the end of the text.
  LineList Lines(size_t max = kMaxTextLine,
                 std::vector<int32_t>* positions = nullptr) {
    LineList lines;
    text_->Seek(0);
    std::string line;
    while (!AtEndOfText(text_.get())) {
      if (positions != nullptr) positions->push_back(text_->Position());
      ReadTextLine(text_.get(), &line, max);
      lines.push_back(line);
    }
    if (positions != nullptr) positions->push_back(text_->Size());
    return lines;
  }
  std::unique_ptr<ByteStream> text_;
};

TEST_F(MessageTextTest, LineEnds) {
  const struct {
    std::string text;
    LineList lines;
    size_t max;
  } cases[] = {
      {"A\r\nB\r\nC\r\n", {"A", "B", "C"}, kMaxTextLine},
      {std::string("A\0\nB\rC", 6), {"A", "B", "C"}, kMaxTextLine},
      {"x\ny\nz\n", {"x\ny\nz\n"}, kMaxTextLine},  // LF alone ends nothing
      {std::string(300, 'L') + "\rnext\r",
       {std::string(255, 'L'), "next"},
       kMaxTextLine},
      {std::string(1024, 'p') + "\r\nq", {std::string(1024, 'p'), "q"}, 2000},
  };
  for (const auto& c : cases) {
    SetText(c.text);
    EXPECT_EQ(Lines(c.max), c.lines) << c.text.substr(0, 20);
  }
}

// The in-place walk must give the very lines and positions that repeated
// ReadTextLine calls give, also where lines, CR LF pairs and zero bytes
// straddle the stream's 8 KB pieces; a walk passing over lines gives those
// of them that its leads admit, whether it looks for few leads sixteen
// bytes at a time or for many a line at a time, and whether it is new or
// restarted from a walk over another text.
TEST_F(MessageTextTest, LineWalkMatchesReadTextLine) {
  uint32_t state = 12345;
  auto next = [&state] { return (state = state * 1103515245u + 12345u) >> 16; };
  const char alphabet[] = {'a', 'b', '\r', '\n', '\0', ' ', '\x01', 'Z'};
  LineLeads every, few, many, paired;
  few.Mark('Z');
  few.Mark('z');
  paired = few;
  paired.MarkSecond('z');
  for (unsigned char c : {'Z', 'z', 'x', 'b', '\r', ' '}) many.Mark(c);
  for (int round = 0; round < 30; ++round) {
    SCOPED_TRACE(round);
    std::string bytes;
    const size_t size = round < 4 ? 8190 + round : next() % 20000;
    while (bytes.size() < size) {
      const uint32_t r = next();
      if (r % 97 == 0) bytes.append(300 + r % 700, 'x');
      if (r % 7 == 0) bytes.append(16 + r % 40, r % 2 ? 'b' : 'z');
      bytes += alphabet[r % (r % 3 == 0 ? 8 : 2)];
      if (r % 5 == 0) bytes += "\r\n";
    }
    SetText(bytes);
    for (size_t max : {kMaxTextLine, size_t{100000}}) {
      std::vector<int32_t> expected_pos;
      const LineList expected_lines = Lines(max, &expected_pos);
      // Each walk with both scans: the wide one where the processor has
      // it, and the narrower one.
      for (int k = 0; k < 8; ++k) {
        const LineLeads* leads = k % 4 == 0   ? &every
                                 : k % 4 == 1 ? &few
                                 : k % 4 == 2 ? &many
                                              : &paired;
        AllowAvx2ForTesting(k < 4);
        text_->Seek(0);
        std::optional<TextLineWalk> walk;
        if (k % 2 == 1) {
          // A walk left midway through another text, restarted on this one.
          MemoryStream other;
          const std::string reversed(bytes.rbegin(), bytes.rend());
          other.Write(reversed.data(), static_cast<uint16_t>(reversed.size()));
          other.Seek(0);
          walk.emplace(&other, max);
          std::string_view skipped;
          for (int i = 0; i < 40 && walk->Next(&skipped); ++i) {
          }
          walk->Restart(text_.get());
        } else {
          walk.emplace(text_.get(), max);
        }
        std::string_view got;
        int32_t at = 0, after = 0;
        size_t n = 0;
        while (walk->NextAdmitted(*leads, &got, &at, &after)) {
          while (n < expected_lines.size() &&
                 !leads->Admits(expected_lines[n])) {
            ++n;
          }
          ASSERT_LT(n, expected_lines.size());
          EXPECT_EQ(got, expected_lines[n]) << n;
          EXPECT_EQ(at, expected_pos[n]) << n;
          EXPECT_EQ(after, expected_pos[n + 1]) << n;
          ++n;
        }
        while (n < expected_lines.size() && !leads->Admits(expected_lines[n]))
          ++n;
        EXPECT_EQ(n, expected_lines.size());
      }
      AllowAvx2ForTesting(true);
    }
  }
}

// Put and remove rewrite every line with a single CR and leave the rest
// byte for byte, long lines included; a kludge name alone is no kludge.
TEST_F(MessageTextTest, KludgePutRemove) {
  const std::string huge(40000, 'h');
  const struct {
    std::string before;
    std::string_view kludge;
    const char* put;  // nullptr: remove
    std::string after;
  } cases[] = {
      {"one\r\ntwo\r\n\x01PID: x\r\n", kKludgeIntl,
       "\x01INTL 2:5020/9 2:5020/1",
       "\x01INTL 2:5020/9 2:5020/1\rone\r\ntwo\r\n\x01PID: x\r\n"},
      {"\x01INTL 1:1/1 1:1/2\r\nbody\r\n\x01INTL 3:3/3 3:3/3\rlast",
       kKludgeIntl, "\x01INTL 2:2/2 2:2/2",
       "\x01INTL 2:2/2 2:2/2\rbody\r\x01INTL 2:2/2 2:2/2\rlast\r"},
      {"\x01MSGID:\rbody\r", kKludgeMsgId, nullptr, "body\r"},
      {"\x01INTL 1:1/1 1:1/1\r" + huge + "\rtail\r", kKludgeIntl, nullptr,
       huge + "\rtail\r"},
  };
  for (const auto& c : cases) {
    SetText(c.before);
    if (c.put != nullptr) {
      ASSERT_TRUE(PutKludgeLine(&text_, c.kludge, c.put));
    } else {
      ASSERT_TRUE(RemoveKludgeLines(&text_, c.kludge));
    }
    EXPECT_EQ(Bytes().size(), c.after.size());
    EXPECT_TRUE(Bytes() == c.after) << c.before.substr(0, 30);
  }
}

}  // namespace
}  // namespace kavel
