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

TEST(JamTextTest, ClassifiesLeadingKludges) {
  JamSplitText split;
  SplitJamText(
      "\x01MSGID: 2:5020/2 4b1d0002\r\x01REPLY: 2:5020/1 4b1d0001\r"
      "\x01PID: Tolvex 2.2Beta\r\x01" "FLAGS: DIR IMM\r\x01" "FLAGS HUB\r"
      "\x01" "FMPT 5\r\x01TOPT 3\r\x01TZUTC: 0300\r\x01" "CHRS: CP866 2\r"
      "\x01Via 2:5020/1 @20240101\r\x01PATH: 5020/1\r\x01msgid: lower\r"
      "Body\r",
      &split);
  EXPECT_EQ(IdsOf(split.subfields),
            (Ids{{4, "2:5020/2 4b1d0002"},
                 {5, "2:5020/1 4b1d0001"},
                 {7, "Tolvex 2.2Beta"},
                 {2003, "DIR IMM"},
                 {2003, "HUB"},
                 {2000, "TZUTC: 0300"},
                 {2000, "CHRS: CP866 2"},
                 {8, "2:5020/1 @20240101"},
                 {2002, "5020/1"},
                 {2000, "msgid: lower"}}));
  EXPECT_EQ(split.replyCrc, JamCrc("2:5020/1 4b1d0001"));
  EXPECT_EQ(split.body, "Body\r");
}

// A posted section with kludge framing: only the leading run becomes
// subfields; the end line stays where it stands.
TEST(JamTextTest, KludgeInsideTheTextKeepsItsPlace) {
  const std::string posted =
      "\x01MSGID: 2:5020/1 0000abcd\r\x01PID: Tolvex 2.2Beta\r"
      "\x01" "ENCODED MESSAGE\r\x01text.begin 1 of 1 of file A.TXT\r"
      "line one\r\x01text.end\r\r--- \r * Origin: here (2:5020/1)\r"
      "\x01INTL 1:1/1 2:2/2\r";
  JamSplitText split;
  SplitJamText(posted, &split);
  EXPECT_EQ(IdsOf(split.subfields),
            (Ids{{4, "2:5020/1 0000abcd"},
                 {7, "Tolvex 2.2Beta"},
                 {2000, "ENCODED MESSAGE"},
                 {2000, "text.begin 1 of 1 of file A.TXT"}}));
  EXPECT_EQ(split.body,
            "line one\r\x01text.end\r\r--- \r * Origin: here (2:5020/1)\r"
            "\x01INTL 1:1/1 2:2/2\r");
  EXPECT_EQ(JoinJamText(split.subfields, split.body), posted);
}

TEST(JamTextTest, TrailingLinesGoToSubfieldsWhereverTheyStand) {
  JamSplitText split;
  SplitJamText(
      "Text\rSEEN-BY: 5020/1\r\x01Via 2:5020/9\rmore\r\x01PATH: 5020/1\r"
      "SEEN-BY 5020/2\r",
      &split);
  EXPECT_EQ(IdsOf(split.subfields),
            (Ids{{2001, "5020/1"}, {8, "2:5020/9"}, {2002, "5020/1"}}));
  EXPECT_EQ(split.body, "Text\rmore\rSEEN-BY 5020/2\r");
}

TEST(JamTextTest, LineEndsAndLongLines) {
  std::string long_line(70000, 'x');
  JamSplitText split;
  SplitJamText("\x01PID: p\r\nA\r\nB" + std::string(1, '\0') + "C\n" +
                   long_line,
               &split);
  EXPECT_EQ(IdsOf(split.subfields), (Ids{{7, "p"}}));
  EXPECT_EQ(split.body, "A\rB\rC\n" + long_line + "\r");

  SplitJamText("", &split);
  EXPECT_TRUE(split.subfields.empty());
  EXPECT_TRUE(split.body.empty());
  SplitJamText("\r\x01PID: p\r", &split);  // an empty first line ends the run
  EXPECT_TRUE(split.subfields.empty());
  EXPECT_EQ(split.body, "\r\x01PID: p\r");
}

TEST(JamTextTest, LinesThatBeginWithLineFeedsKeepThem) {
  // "A", "\n\nB" and, after the kludge, "\nC": the LF that ends a line is
  // dropped, the ones that begin the next line are not.
  JamSplitText split;
  SplitJamText("\x01PID: p\r\n\nC\rA\r\n\n\nB\r", &split);
  EXPECT_EQ(split.body, "\nC\rA\r\n\n\nB\r");
  EXPECT_EQ(JoinJamText(split.subfields, split.body),
            "\x01PID: p\r\n\nC\rA\r\n\n\nB\r");
  EXPECT_EQ(JoinJamText({}, "\nC\r"), "\nC\r");
}

TEST(JamTextTest, JoinOrdersViaSeenByPath) {
  // The worked example: subfields 8 and 2001, text "Hi".
  EXPECT_EQ(JoinJamText({Sub(8, "2:5020/1 @x"), Sub(2001, "5020/1")}, "Hi\r"),
            "Hi\r\x01Via 2:5020/1 @x\rSEEN-BY: 5020/1\r");
  // What real tossers store: Via as plain kludges, TZUTC as its own id.
  EXPECT_EQ(JoinJamText({Sub(2, "Ivan"), Sub(0, "2:5020/1"), Sub(4, "2:5020/1 1"),
                         Sub(2002, "5020/9999"), Sub(2001, "5020/1 9999"),
                         Sub(2000, "Via 2:5020/100 @a"), Sub(2004, "0300"),
                         Sub(2003, "DIR"), Sub(2000, "CHRS: CP866 2"),
                         Sub(8, "2:5020/1 @b"), Sub(1000, "binary")},
                        "Text\r"),
            "\x01MSGID: 2:5020/1 1\r\x01TZUTC: 0300\r\x01" "FLAGS: DIR\r"
            "\x01" "CHRS: CP866 2\rText\r\x01Via 2:5020/100 @a\r"
            "\x01Via 2:5020/1 @b\rSEEN-BY: 5020/1 9999\r\x01PATH: 5020/9999\r");
}

TEST(JamTextTest, JoinEndsAnUnendedBodyBeforeTrailingLines) {
  EXPECT_EQ(JoinJamText({Sub(2001, "1/1")}, "Hi"), "Hi\rSEEN-BY: 1/1\r");
  EXPECT_EQ(JoinJamText({Sub(2001, "1/1")}, "Hi\r\n"),
            "Hi\r\nSEEN-BY: 1/1\r");
  EXPECT_EQ(JoinJamText({Sub(2001, "1/1")}, ""), "SEEN-BY: 1/1\r");
  EXPECT_EQ(JoinJamText({}, "Hi"), "Hi");
}

}  // namespace
}  // namespace kavel
