#include "driver/config_file.h"

#include <gtest/gtest.h>

#include <fstream>
#include <iterator>
#include <string>
#include <tuple>
#include <vector>

#include "context/context_test_support.h"
#include "posting/posting_settings.h"

namespace kavel {
namespace {

using Lines = std::vector<std::string>;

class ConfigFileTest : public testing::ContextTest {
 protected:
  void SetUp() override {
    ContextTest::SetUp();
    CreatePostingJob(ctx_);
  }
  // Writes Kavel.cfg and runs both passes; returns the log lines.
  Lines Load(const std::string& content, bool decoding = true) {
    WriteFile("Kavel.cfg", content);
    return Logged([&] {
      LocateConfigFile(ctx_);
      LoadCommonSettings(ctx_);
      if (decoding) LoadDecodingSettings(ctx_);
    });
  }
  const DecodingSettings& dec() const { return ctx_.decoding; }
};

TEST_F(ConfigFileTest, LockWaitSeconds) {
  const std::string bad =
      "[err] LOCKWAIT soon is not a number of seconds; "
      "the default of 60 holds";
  const std::tuple<std::string, int32_t> kCases[] = {
      {"lockwait 0 \r\n", 0},
      {"LOCKWAIT 99999999999\r\n", 86400},
      {"LOCKWAIT 30\r\nLOCKWAIT soon\r\n", 60}};
  for (const auto& [lines, seconds] : kCases) {
    const Lines logged = Load("FROM x\r\n" + lines, false);
    EXPECT_EQ(LockWaitSeconds(ctx_), seconds) << lines;
    EXPECT_EQ(logged.back() == bad, seconds == 60 && !lines.empty()) << lines;
  }
}

// The keywords and line forms that the end-to-end runs do not use. The lines
// after "first" must not be read: each would change a value set before.
TEST_F(ConfigFileTest, DecodingKeywordsAndLineForms) {
  std::string more;  // markers beyond ten are kept too
  for (int i = 4; i <= 12; ++i)
    more += "FORWARDMARKER k" + std::to_string(i) + "\r\n";
  Load(more +
       "BaseTextPath \"c:\\my files\\\"\r\n"
       "BASEFWDPATH /var/fwd\r\n"
       "  forwardmask fw\r\n"
       "FORWARDTO To:\r\n"
       "FORWARDSUBJ Subj: \"Re\" x\r\n"
       "FORWARDDATE first\r\n"
       "FORWARDDATE Date:\r\n"
       "FORWARDEXT doc\r\n"
       "; BASETEXTPATH c:\\commented\r\n"
       "\\\\FORWARDMASK commented\r\n"
       "\tFORWARDTO tabbed\r\n"
       "FORWARDFROM\tFrom:\r\n"
       "FORWARDMARKER Forwarded End of forward\r\n"
       "forwardmarker fwd\r\n"
       "FORWARDMARKER\r\n");
  EXPECT_EQ(dec().baseTextPath + "|" + dec().baseFwdPath + "|" +
                dec().forwardMask + "|" + dec().forwardTo + "|" +
                dec().forwardSubj + "|" + dec().forwardDate + "|" +
                dec().forwardExt + "|" + dec().forwardFrom,
            "c:\\my files\\|/var/fwd\\|fw|To:|Re|Date:|doc|");
  Lines markers;
  for (const auto& m : dec().forwardMarkers)
    markers.push_back(m.key + "|" + m.endText);
  ASSERT_EQ(markers.size(), 12u);
  EXPECT_EQ(Lines(markers.begin() + 9, markers.end()),
            (Lines{"FORWARDED|End of forward", "FWD|fwd",
                   "FORWARDMARKER|FORWARDMARKER"}));
}

// Garbage sets nothing; long lines are cut at 255.
TEST_F(ConfigFileTest, BinaryGarbageAndLongLines) {
  const std::string value(300, 'x');
  std::string garbage = "FORWARDCOMMENT " + value + "\r\nSUBJ " + value + "\n";
  for (int i = 0; i < 4096; ++i) garbage += static_cast<char>(i * 37 % 256);
  garbage += std::string("FROM\0Bob\r\n", 10);
  EXPECT_EQ(Load(garbage).size(), 2u);
  EXPECT_EQ(ctx_.postingJob->fromName, "Sysop");
  EXPECT_EQ(dec().forwardMask, "fwd");
  EXPECT_EQ(dec().forwardComment, std::string(255 - 15, 'x'));
  EXPECT_EQ(ctx_.postingJob->subject, std::string(255 - 5, 'x'));
}

}  // namespace
}  // namespace kavel
