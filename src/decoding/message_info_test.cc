#include "decoding/message_info.h"

#include <gtest/gtest.h>

namespace kavel {
namespace {

MessageInfo SampleInfo() {
  MessageInfo info;
  info.fileName = "FOO.ZIP";
  info.size = 1234;
  info.fromName = "John Doe";
  info.toName = "All";
  info.toAddr = "2:5020/1.0";
  info.fromAddr = "2:5020/1";
  info.subject = "Files";
  info.dateWritten = "2001/03/06";
  info.dateArrived = "2001/03/07";
  info.timeWritten = "21:05:09.00";
  info.timeArrived = "22:00:00.50";
  return info;
}

TEST(BuildInfoLineTest, DefaultTemplate) {
  EXPECT_EQ(BuildInfoLine("@File(14,L) (@FromName, @FromAddr [@DateArrived])",
                          SampleInfo()),
            "FOO.ZIP        (John Doe, 2:5020/1 [2001/03/07])");
}

TEST(BuildInfoLineTest, EveryTokenAnyCase) {
  EXPECT_EQ(BuildInfoLine("@file @SIZE @fromname @ToName @toaddr @FromAddr "
                          "@Subject @DateWritten @DateArrived @TimeWritten "
                          "@TimeArrived@Space|",
                          SampleInfo()),
            "FOO.ZIP 1234 John Doe All 2:5020/1.0 2:5020/1 Files 2001/03/06 "
            "2001/03/07 21:05:09.00 22:00:00.50 |");
}

TEST(FormatFieldTest, WidthsAndAlignment) {
  const MessageInfo info = SampleInfo();
  EXPECT_EQ(BuildInfoLine("[@File(14,L)]", info), "[FOO.ZIP       ]");
  EXPECT_EQ(BuildInfoLine("[@File(14,R)]", info), "[       FOO.ZIP]");
  EXPECT_EQ(BuildInfoLine("[@File(14)]", info), "[       FOO.ZIP]");
  EXPECT_EQ(BuildInfoLine("[@Size(8, l)]", info), "[1234    ]");
  EXPECT_EQ(BuildInfoLine("[@File(3,L)]", info), "[FOO.ZIP]");
  // Centre: the odd blank goes to the right.
  EXPECT_EQ(BuildInfoLine("[@File(10,C)]", info), "[ FOO.ZIP  ]");
  EXPECT_EQ(BuildInfoLine("[@File(11,c)]", info), "[  FOO.ZIP  ]");
  // Unknown letter: right.
  EXPECT_EQ(BuildInfoLine("[@File(9,X)]", info), "[  FOO.ZIP]");
  // A blank after the width makes it malformed: 0.
  EXPECT_EQ(BuildInfoLine("[@File(9 )]", info), "[FOO.ZIP]");
  // Out of range widths are clamped.
  EXPECT_EQ(BuildInfoLine("[@File(-5,L)]", info), "[FOO.ZIP]");
  EXPECT_EQ(BuildInfoLine("@File(100000,L)|", info).size(), 255u);
  // Without a ")" the rest stands once, after the value.
  EXPECT_EQ(BuildInfoLine("@File(9", info), "  FOO.ZIP9");
}

TEST(BuildInfoLineTest, ValuesAreInsertedVerbatim) {
  MessageInfo info = SampleInfo();
  info.fromName = "@FromName @DateWritten \\n @Space";
  info.subject = "two\r\nlines\x01";
  EXPECT_EQ(BuildInfoLine("@FromName|@Subject|@DateWritten", info),
            "@FromName @DateWritten \\n @Space|two  lines |2001/03/06");
  EXPECT_EQ(BuildInfoLine("@File @file", info), "FOO.ZIP FOO.ZIP");
  info.subject = std::string(300, 'x');
  EXPECT_EQ(BuildInfoLine("@Subject", info), std::string(255, 'x'));
}

}  // namespace
}  // namespace kavel
