#include "msgbase/message_text.h"

#include <gtest/gtest.h>

#include <memory>
#include <string>

#include "msgbase/byte_stream.h"

namespace kavel {
namespace {

class MessageTextTest : public ::testing::Test {
 protected:
  void SetUp() override { text_ = std::make_unique<MemoryStream>(); }
  void SetText(const std::string& bytes) {
    text_ = std::make_unique<MemoryStream>();
    text_->Write(bytes.data(), static_cast<uint16_t>(bytes.size()));
    text_->Seek(0);
  }
  std::string Bytes() {
    std::string out(static_cast<size_t>(text_->Size()), '\0');
    int32_t position = text_->Position();
    text_->Seek(0);
    text_->Read(out.data(), static_cast<uint16_t>(out.size()));
    text_->Seek(position);
    return out;
  }
  std::vector<std::string> Lines(size_t max = kMaxTextLine) {
    std::vector<std::string> lines;
    text_->Seek(0);
    std::string line;
    while (!AtEndOfText(text_.get())) {
      ReadTextLine(text_.get(), &line, max);
      lines.push_back(line);
    }
    return lines;
  }
  std::unique_ptr<ByteStream> text_;
};

using LineList = std::vector<std::string>;

TEST_F(MessageTextTest, WrittenLinesReadBack) {
  for (const char* line : {"A", "B", "C"}) WriteTextLine(text_.get(), line);
  EXPECT_EQ(Bytes(), "A\rB\rC\r");
  EXPECT_EQ(Lines(), (LineList{"A", "B", "C"}));
  SetText("A\r\nB\r\nC\r\n");
  EXPECT_EQ(Lines(), (LineList{"A", "B", "C"}));
  SetText(std::string("A\0\nB\rC", 6));
  EXPECT_EQ(Lines(), (LineList{"A", "B", "C"}))
      << "zero ends a line, LF skipped";
  SetText("x\ny\nz\n");
  EXPECT_EQ(Lines(), (LineList{"x\ny\nz\n"})) << "LF alone is no line end";
  SetText(
      "a\r\x8D"
      "b\r");
  EXPECT_EQ(Lines(), (LineList{"a",
                               "\x8D"
                               "b"}))
      << "0x8D is an ordinary byte";
}

TEST_F(MessageTextTest, LongLinesAreCutAndTheirRestSkipped) {
  std::string long_line(300, 'L');
  SetText(long_line + "\rnext\r");
  EXPECT_EQ(Lines(), (LineList{std::string(255, 'L'), "next"}));
  // A line end that falls right after a 1024-byte piece, followed by LF.
  SetText(std::string(1024, 'p') + "\r\nq");
  EXPECT_EQ(Lines(2000), (LineList{std::string(1024, 'p'), "q"}));
  SetText(std::string(3000, 'r') + "\rs");
  EXPECT_EQ(Lines(5000), (LineList{std::string(3000, 'r'), "s"}));
}

// The in-place walk must give the very lines and positions that repeated
// ReadTextLine calls give, also where lines, CR LF pairs and zero bytes
// straddle the stream's 8 KB pieces.
TEST_F(MessageTextTest, LineWalkMatchesReadTextLine) {
  uint32_t state = 12345;
  auto next = [&state] { return (state = state * 1103515245u + 12345u) >> 16; };
  const char alphabet[] = {'a', 'b', '\r', '\n', '\0', ' ', '\x01', 'Z'};
  for (int round = 0; round < 60; ++round) {
    std::string bytes;
    const size_t size = round < 4 ? 8190 + round : next() % 20000;
    while (bytes.size() < size) {
      // Runs of letters with now and then a long line and a line end.
      const uint32_t r = next();
      if (r % 97 == 0) bytes.append(300 + r % 700, 'x');
      bytes += alphabet[r % (r % 3 == 0 ? 8 : 2)];
      if (r % 5 == 0) bytes += "\r\n";
    }
    SetText(bytes);
    for (size_t max : {kMaxTextLine, size_t{100000}}) {
      std::vector<std::string> expected_lines;
      std::vector<int32_t> expected_pos;
      text_->Seek(0);
      std::string line;
      while (!AtEndOfText(text_.get())) {
        expected_pos.push_back(text_->Position());
        ReadTextLine(text_.get(), &line, max);
        expected_lines.push_back(line);
      }
      expected_pos.push_back(text_->Size());
      text_->Seek(0);
      TextLineWalk walk(text_.get(), max);
      std::string_view got;
      int32_t at = 0;
      int32_t after = 0;
      size_t n = 0;
      while (walk.Next(&got, &at, &after)) {
        ASSERT_LT(n, expected_lines.size()) << "round " << round;
        EXPECT_EQ(got, expected_lines[n]) << "round " << round << " line " << n;
        EXPECT_EQ(at, expected_pos[n]) << "round " << round << " line " << n;
        EXPECT_EQ(after, expected_pos[n + 1]) << "round " << round;
        ++n;
      }
      EXPECT_EQ(n, expected_lines.size()) << "round " << round;
    }
  }
}

TEST_F(MessageTextTest, FindKludgeNeedsALongerLine) {
  SetText("\x01MSGID:\rbody\r");
  std::string line;
  EXPECT_FALSE(FindKludgeLine(text_.get(), kKludgeMsgId, &line, 255));
  SetText("body\r\x01MSGID: 2:5020/1 12345678\r");
  EXPECT_TRUE(FindKludgeLine(text_.get(), kKludgeMsgId, &line, 255));
  EXPECT_EQ(line, "\x01MSGID: 2:5020/1 12345678");
  // Put and remove match a line exactly as long as the name.
  SetText("\x01MSGID:\rbody\r");
  ASSERT_TRUE(PutKludgeLine(&text_, kKludgeMsgId, "\x01MSGID: 1:1/1 1"));
  EXPECT_EQ(Bytes(), "\x01MSGID: 1:1/1 1\rbody\r");
  SetText("\x01MSGID:\rbody\r");
  ASSERT_TRUE(RemoveKludgeLines(&text_, kKludgeMsgId));
  EXPECT_EQ(Bytes(), "body\r");
}

TEST_F(MessageTextTest, PutKludgeRewritingByteForByte) {
  // New kludge: becomes the first line, the rest unchanged byte for byte.
  SetText("one\r\ntwo\r\n\x01PID: x\r\n");
  ASSERT_TRUE(PutKludgeLine(&text_, kKludgeIntl, "\x01INTL 2:5020/9 2:5020/1"));
  EXPECT_EQ(Bytes(),
            "\x01INTL 2:5020/9 2:5020/1\rone\r\ntwo\r\n\x01PID: x\r\n");
  EXPECT_EQ(text_->Position(), text_->Size());
  // Replacement: every line rewritten with a single CR; every matching line
  // replaced.
  SetText("\x01INTL 1:1/1 1:1/2\r\nbody\r\n\x01INTL 3:3/3 3:3/3\rlast");
  ASSERT_TRUE(PutKludgeLine(&text_, kKludgeIntl, "\x01INTL 2:2/2 2:2/2"));
  EXPECT_EQ(Bytes(),
            "\x01INTL 2:2/2 2:2/2\rbody\r\x01INTL 2:2/2 2:2/2\rlast\r");
  SetText(
      "\x01"
      "FMPT 5\rkeep\r\n");
  ASSERT_TRUE(RemoveKludgeLines(&text_, kKludgeFmpt));
  EXPECT_EQ(Bytes(), "keep\r");
}

TEST_F(MessageTextTest, VeryLongLinesPassThroughRewriting) {
  std::string huge(40000, 'h');
  std::string original = "\x01INTL 1:1/1 1:1/1\r" + huge + "\rtail\r";
  text_ = std::make_unique<MemoryStream>();
  WriteTextLine(text_.get(), "\x01INTL 1:1/1 1:1/1");
  WriteTextLine(text_.get(), huge);
  WriteTextLine(text_.get(), "tail");
  ASSERT_TRUE(PutKludgeLine(&text_, kKludgeIntl, "\x01INTL 2:2/2 2:2/2"));
  EXPECT_EQ(text_->Size(), static_cast<int32_t>(original.size()));
  EXPECT_EQ(Lines(100000), (LineList{"\x01INTL 2:2/2 2:2/2", huge, "tail"}));
  ASSERT_TRUE(RemoveKludgeLines(&text_, kKludgeIntl));
  EXPECT_EQ(Lines(100000), (LineList{huge, "tail"}));
}

TEST_F(MessageTextTest, AddressesFromKludges) {
  FtnAddress orig, dest;
  SetText("\x01MSGID: 2:5020/1.5@fidonet 12345678\rtext\r");
  ScanAddressKludges(text_.get(), &orig, &dest);
  EXPECT_EQ(AddressToText4D(orig), "2:5020/1.5");
  EXPECT_EQ(dest, EmptyAddress) << "no MSGID rule for the destination";
  // INTL keeps the point MSGID gave.
  orig = dest = EmptyAddress;
  SetText("\x01MSGID: 2:5020/1.5 1\r\x01INTL 2:5020/9 2:5020/1\r\x01TOPT 3\r");
  ScanAddressKludges(text_.get(), &orig, &dest);
  EXPECT_EQ(AddressToText4D(orig), "2:5020/1.5");
  EXPECT_EQ(AddressToText4D(dest), "2:5020/9.3");
  // Lines too short for a name, unparsable words, and out-of-range points
  // are ignored.
  orig = dest = EmptyAddress;
  SetText(
      "\x01MSG\r\x01INTL\r\x01MSGID: bogus 1\r\x01"
      "FMPT 99999\r");
  ScanAddressKludges(text_.get(), &orig, &dest);
  EXPECT_EQ(orig, EmptyAddress);
  EXPECT_EQ(dest, EmptyAddress);
}

}  // namespace
}  // namespace kavel
