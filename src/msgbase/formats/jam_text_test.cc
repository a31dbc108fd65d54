#include "msgbase/formats/jam_text.h"

#include <gtest/gtest.h>

#include <string>
#include <utility>
#include <vector>

#include "msgbase/formats/jam_crc.h"

namespace kavel {
namespace {

using Ids = std::vector<std::pair<int, std::string>>;

Ids IdsOf(const std::vector<JamSubfield>& subfields) {
  Ids out;
  for (const JamSubfield& s : subfields) out.emplace_back(s.loId, s.data);
  return out;
}

JamSubfield Sub(uint16_t id, std::string data) {
  JamSubfield s;
  s.loId = id;
  s.data = std::move(data);
  return s;
}

// Only the leading run of kludges becomes subfields (an empty first line
// ends it); SEEN-BY, Via and PATH lines do wherever they stand; line ends
// become single CRs, LFs that begin a line stay.
TEST(JamTextTest, Split) {
  const std::string long_line(70000, 'x');
  const struct {
    std::string text;
    Ids ids;
    std::string body;
  } cases[] = {
      {"\x01MSGID: 2:5020/2 4b1d0002\r\x01REPLY: 2:5020/1 4b1d0001\r"
       "\x01PID: Tolvex 2.2Beta\r\x01"
       "FLAGS: DIR IMM\r\x01"
       "FLAGS HUB\r"
       "\x01Via 2:5020/1 @20240101\r\x01PATH: 5020/1\r\x01msgid: lower\r"
       "Body\r",
       {{4, "2:5020/2 4b1d0002"},
        {5, "2:5020/1 4b1d0001"},
        {7, "Tolvex 2.2Beta"},
        {2003, "DIR IMM"},
        {2003, "HUB"},
        {8, "2:5020/1 @20240101"},
        {2002, "5020/1"},
        {2000, "msgid: lower"}},
       "Body\r"},
      {"\x01"
       "ENCODED MESSAGE\rline one\r\x01text.end\r"
       " * Origin: here (2:5020/1)\r\x01INTL 1:1/1 2:2/2\r",
       {{2000, "ENCODED MESSAGE"}},
       "line one\r\x01text.end\r * Origin: here (2:5020/1)\r"
       "\x01INTL 1:1/1 2:2/2\r"},
      {"Text\rSEEN-BY: 5020/1\r\x01Via 2:5020/9\rmore\r\x01PATH: 5020/1\r"
       "SEEN-BY 5020/2\r",
       {{2001, "5020/1"}, {8, "2:5020/9"}, {2002, "5020/1"}},
       "Text\rmore\rSEEN-BY 5020/2\r"},
      {"\x01PID: p\r\nA\r\nB" + std::string(1, '\0') + "C\n" + long_line,
       {{7, "p"}},
       "A\rB\rC\n" + long_line + "\r"},
      {"\r\x01PID: p\r", {}, "\r\x01PID: p\r"},
      {std::string("X\0Y\rZ\0\0W\r", 9), {}, "X\rY\rZ\r\rW\r"},
      {"\x01PID: p\r\n\nC\rA\r\n\n\nB\r", {{7, "p"}}, "\nC\rA\r\n\n\nB\r"},
  };
  for (const auto& c : cases) {
    JamSplitText split;
    SplitJamText(c.text, &split);
    EXPECT_EQ(IdsOf(split.subfields), c.ids) << c.text.substr(0, 30);
    EXPECT_EQ(split.body, c.body) << c.text.substr(0, 30);
  }
  JamSplitText split;
  SplitJamText("\x01REPLY: 2:5020/1 4b1d0001\r", &split);
  EXPECT_EQ(split.replyCrc, JamCrc("2:5020/1 4b1d0001"));
}

// Leading kludges, the body (ended by a CR when trailing lines follow),
// then Via, SEEN-BY and PATH; Via as plain kludges and TZUTC as its own
// id, as real tossers store them.
TEST(JamTextTest, Join) {
  const struct {
    std::vector<JamSubfield> subfields;
    std::string body, text;
  } cases[] = {
      {{Sub(8, "2:5020/1 @x"), Sub(2001, "5020/1")},
       "Hi\r",
       "Hi\r\x01Via 2:5020/1 @x\rSEEN-BY: 5020/1\r"},
      {{Sub(2, "Ivan"), Sub(0, "2:5020/1"), Sub(4, "2:5020/1 1"),
        Sub(2002, "5020/9999"), Sub(2001, "5020/1 9999"),
        Sub(2000, "Via 2:5020/100 @a"), Sub(2004, "0300"), Sub(2003, "DIR"),
        Sub(2000, "CHRS: CP866 2"), Sub(8, "2:5020/1 @b"), Sub(1000, "binary")},
       "Text\r",
       "\x01MSGID: 2:5020/1 1\r\x01TZUTC: 0300\r\x01"
       "FLAGS: DIR\r"
       "\x01"
       "CHRS: CP866 2\rText\r\x01Via 2:5020/100 @a\r"
       "\x01Via 2:5020/1 @b\rSEEN-BY: 5020/1 9999\r\x01PATH: 5020/9999\r"},
      {{Sub(7, "p")}, "\nC\rA\r\n\n\nB\r", "\x01PID: p\r\n\nC\rA\r\n\n\nB\r"},
      {{Sub(2001, "1/1")}, "Hi", "Hi\rSEEN-BY: 1/1\r"},
  };
  for (const auto& c : cases) {
    const std::string body(c.body);
    auto file = NewMemoryStream(65536);
    auto text = NewMemoryStream(65536);
    file->Write(body.data(), static_cast<uint16_t>(body.size()));
    const int64_t size = static_cast<int64_t>(body.size());
    ASSERT_TRUE(
        ReadJamText(file.get(), 0, size, size, c.subfields, text.get()));
    std::string joined(static_cast<size_t>(text->Size()), '\0');
    text->Seek(0);
    text->Read(joined.data(), static_cast<uint16_t>(joined.size()));
    EXPECT_EQ(joined, c.text) << c.body;
  }
}

}  // namespace
}  // namespace kavel
