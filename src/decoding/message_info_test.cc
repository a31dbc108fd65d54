#include "decoding/message_info.h"

#include <gtest/gtest.h>

namespace kavel {
namespace {

MessageInfo SampleInfo() {
  MessageInfo info;
  info.fileName = "FOO.ZIP";
  info.size = 1234;
  info.fromName = "John Doe";
  info.toAddr = "2:5020/1.0";
  info.fromAddr = "2:5020/1";
  info.dateArrived = "2001/03/07";
  info.timeArrived = "22:00:00.50";
  return info;
}

// Tokens, widths and alignments beyond those the file list runs pin.
TEST(BuildInfoLineTest, WidthsAlignmentAndValues) {
  MessageInfo info = SampleInfo();
  const std::pair<const char*, const char*> cases[] = {
      {"@File(14,L) (@FromName, @FromAddr [@DateArrived])",
       "FOO.ZIP        (John Doe, 2:5020/1 [2001/03/07])"},
      {"[@Size(8, l)]", "[1234    ]"},
      {"[@File(10,C)]", "[ FOO.ZIP  ]"},  // the odd blank goes right
      {"@SIZE @toaddr @TimeArrived", "1234 2:5020/1.0 22:00:00.50"},
  };
  for (const auto& [format, line] : cases) {
    EXPECT_EQ(BuildInfoLine(format, info), line) << format;
  }
  EXPECT_EQ(BuildInfoLine("@File(100000,L)|", info).size(), 255u);
  info.fromName = "@FromName \\n\r\n";
  EXPECT_EQ(BuildInfoLine("@FromName|", info), "@FromName \\n  |");
}

}  // namespace
}  // namespace kavel
