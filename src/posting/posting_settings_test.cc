#include "posting/posting_settings.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "context/context_test_support.h"
#include "msgbase/test_support.h"
#include "platform/env.h"
#include "platform/platform.h"

namespace kavel {
namespace {

using Lines = std::vector<std::string>;

class PostingSettingsTest : public testing::ContextTest {
 protected:
  void SetUp() override {
    ContextTest::SetUp();
    CreatePostingJob(ctx_);
  }
  FakeClockEnv clock_env_{Env::Default()};
  ScopedEnv scoped_clock_{&clock_env_};
  Lines Read(const std::vector<std::string>& lines) {
    return Logged([&] {
      for (const std::string& line : lines) ReadPostingKeyword(ctx_, line);
    });
  }
  const PostingJob& job() const { return *ctx_.postingJob; }
};

// The keywords, value forms and line forms that the end-to-end runs do not
// use. The lines after "Weekly news " must not be read: each would change a
// value set before.
TEST_F(PostingSettingsTest, KeywordsAndLineForms) {
  Lines log = Read({
      "FILE c:\\out\\news.txt",
      "To  \"All and everybody\"",
      "SUBJ Weekly news ",
      "ORIGIN \"  Our node  \" trailing words",
      "  ENCODEDMESSAGE decode me",
      "ENDENCODEDSTRING end",
      "USEENCODEDSTRING Yes",
      "USEENCODEDMESSAGE true",
      "USEASKLUDGE YES",
      "FROM",
      "FROM\tTabbed",
      "; FROM Commented",
      "#FROM Commented",
      "USEASKLUDGE",
  });
  EXPECT_TRUE(log.empty());
  EXPECT_EQ(job().fileName + "|" + job().toName + "|" + job().subject + "|" +
                job().origin + "|" + ctx_.encoding.encodedMessage + "|" +
                ctx_.encoding.endString + "|" + job().fromName,
            "c:\\out\\news.txt|All and everybody|Weekly news |  Our node  |"
            "decode me|end|Sysop");
  EXPECT_TRUE(ctx_.encoding.useEncodedStrings);
  EXPECT_FALSE(ctx_.encoding.useEncodedMessage);  // only Yes and Y
  EXPECT_TRUE(ctx_.encoding.useAsKludge);
  Read({"SUBJ  "});  // keyword and blanks: the empty value
  EXPECT_EQ(job().subject, "");
  EXPECT_EQ(Read({"ENCODEBINARY base64"}),
            (Lines{"[err] Unknown value 'base64' of ENCODEBINARY, binary "
                   "files are not posted"}));
  EXPECT_FALSE(ctx_.encoding.encodeBinaryUue);
}

TEST_F(PostingSettingsTest, AddressSettings) {
  // The value is the rest of the line: a trailing blank makes it fail;
  // alone on its line, the keyword is its own value.
  // A short form changes only what it names.
  Lines log =
      Read({"FROMADDR 2:5020/1.5", "TOADDR 2:5020/52", "FROMADDR 3:1/1 ",
            "FROMADDR", "toaddr nowhere", "FROMADDR 5030/7"});
  EXPECT_EQ(log, (Lines{"Error converting 3:1/1 ", "Error converting FROMADDR",
                        "Error converting nowhere"}));
  EXPECT_EQ(
      AddressToText(job().fromAddress) + " " + AddressToText(job().toAddress),
      "2:5030/7 2:5020/52");
}

TEST_F(PostingSettingsTest, AttributeLists) {
  EXPECT_EQ(ParseAttributeList("  K/S   hld loc LOC Xyz"), 128u | 512u | 256u);
  EXPECT_EQ(ParseAttributeList("Pvt Cra Rcv Snt Att Trs Orp K/s Loc Hld FRq "
                               "RRq RRc ARq URq Sca"),
            0xFFFFu);
  Read({"FLAGS pvt hld"});
  EXPECT_EQ(job().attributes, 1u | 512u);
  Read({"FLAGS"});  // the keyword itself is no attribute name
  EXPECT_EQ(job().attributes, 0u);
}

TEST_F(PostingSettingsTest, WhenRule) {
  // Sunday, 6 December 2026.
  clock_env_.set_clock(
      [] { return testing_support::ClockAt(2026, 12, 6, 12); });
  const struct {
    const char* value;
    bool before, after;
  } cases[] = {
      {"daily", false, true},           {"weekly 1 3 5", true, false},
      {"MOUNTHLY 1 6 20", false, true}, {"YEARLY 26", true, false},
      {"SOMETIMES 6", true, true},      {"", false, false},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.value);
    bool run = c.before;
    EvaluateWhen(c.value, &run);
    EXPECT_EQ(run, c.after);
  }
}

}  // namespace
}  // namespace kavel
