#include "posting/posting_settings.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "driver/context_test_support.h"
#include "msgbase/test_support.h"
#include "platform/env.h"
#include "platform/platform.h"

namespace kavel {
namespace {

using Lines = std::vector<std::string>;

class PostingSettingsTest : public testing::ContextTest {
 protected:
  Lines Read(const std::vector<std::string>& lines) {
    return Logged([&] {
      for (const std::string& line : lines) ReadPostingKeyword(ctx_, line);
    });
  }
  const PostingJob& job() const { return *ctx_.postingJob; }
};

TEST_F(PostingSettingsTest, EveryTextKeyword) {
  Lines log = Read({
      "FILE c:\\out\\news.txt",
      "from Kavel Robot",
      "To  \"All and everybody\"",
      "SUBJ Weekly news ",
      "ORIGIN \"  Our node  \" trailing words",
      "TEARLINE kavel",
      "HPTPATH /etc/fido/areas",
      "SQUISH c:\\squish\\squish.cfg",
      "TERMINATE c:\\term",
      "ENCODEDMESSAGE decode me",
      "BEGINENCODEDSTRING begin % % %",
      "ENDENCODEDSTRING end",
  });
  EXPECT_TRUE(log.empty());
  EXPECT_EQ(job().fileName, "c:\\out\\news.txt");
  EXPECT_EQ(job().fromName, "Kavel Robot");
  EXPECT_EQ(job().toName, "All and everybody");
  EXPECT_EQ(job().subject, "Weekly news ");
  EXPECT_EQ(job().origin, "  Our node  ");
  EXPECT_EQ(job().tearline, "kavel");
  // Area-file paths are plain texts: no backslash is appended.
  EXPECT_EQ(ctx_.areaFiles.hptPath, "/etc/fido/areas");
  EXPECT_EQ(ctx_.areaFiles.squishPath, "c:\\squish\\squish.cfg");
  EXPECT_EQ(ctx_.areaFiles.terminatePath, "c:\\term");
  EXPECT_EQ(ctx_.encoding.encodedMessage, "decode me");
  EXPECT_EQ(ctx_.encoding.beginString, "begin % % %");
  EXPECT_EQ(ctx_.encoding.endString, "end");
  // FROM and TO do not take FROMADDR and TOADDR lines, nor the reverse.
  Read({"FROMADDR 2:5020/1", "TOADDR 2:5020/2"});
  EXPECT_EQ(job().fromName, "Kavel Robot");
  EXPECT_EQ(job().toName, "All and everybody");
}

TEST_F(PostingSettingsTest, LinesThatSetNothing) {
  Read({
      "FROM",          // keyword alone
      "FROM\tTabbed",  // a tab does not separate
      "; FROM Commented",
      "#FROM Commented",
      "\\\\FROM Commented",
      "FROMNAME Other",
      "",
  });
  EXPECT_EQ(job().fromName, "Sysop");
  Read({"SUBJ  "});  // keyword and blanks: the empty value
  EXPECT_EQ(job().subject, "");
  Read({"  FROM Indented"});
  EXPECT_EQ(job().fromName, "Indented");
}

TEST_F(PostingSettingsTest, YesNoValues) {
  EncodingSettings& enc = ctx_.encoding;
  Read({"USEENCODEDSTRING Yes", "USEENCODEDMESSAGE y", "USEASKLUDGE No"});
  EXPECT_TRUE(enc.useEncodedStrings);
  EXPECT_TRUE(enc.useEncodedMessage);
  EXPECT_FALSE(enc.useAsKludge);
  Read({"USEASKLUDGE YES", "USEENCODEDSTRINGS 1", "USEENCODEDMESSAGE true"});
  EXPECT_TRUE(enc.useAsKludge);
  EXPECT_FALSE(enc.useEncodedStrings);
  EXPECT_FALSE(enc.useEncodedMessage);
  Read({"USEASKLUDGE"});  // alone: unchanged
  EXPECT_TRUE(enc.useAsKludge);
  Read({"USEASKLUDGE "});  // only blanks: no
  EXPECT_FALSE(enc.useAsKludge);
  Read({"useencodedstrings \"yes\""});  // quotes play no part
  EXPECT_FALSE(enc.useEncodedStrings);
  EXPECT_EQ(Read({"ENCODEBINARY uue"}), Lines{});
  EXPECT_TRUE(enc.encodeBinaryUue);
  EXPECT_EQ(Read({"ENCODEBINARY base64"}),
            (Lines{"[err] Unknown value 'base64' of ENCODEBINARY, binary "
                   "files are not posted"}));
  EXPECT_FALSE(enc.encodeBinaryUue);
}

TEST_F(PostingSettingsTest, LaterLineWinsAcrossSecondNames) {
  Read({"BEGINENCODEDSTRING first %", "BEGINSTRING second %"});
  EXPECT_EQ(ctx_.encoding.beginString, "second %");
  Read({"BEGINSTRING third %", "BEGINENCODEDSTRING fourth %"});
  EXPECT_EQ(ctx_.encoding.beginString, "fourth %");
  Read({"ENDSTRING e1", "ENDENCODEDSTRING e2", "ENDSTRING e3"});
  EXPECT_EQ(ctx_.encoding.endString, "e3");
  Read({"USEENCODEDSTRINGS yes", "USEENCODEDSTRING no"});
  EXPECT_FALSE(ctx_.encoding.useEncodedStrings);
  Read({"USEENCODEDSTRING no", "USEENCODEDSTRINGS yes"});
  EXPECT_TRUE(ctx_.encoding.useEncodedStrings);
  Read({"SUBJ one", "SUBJ two"});
  EXPECT_EQ(job().subject, "two");
}

TEST_F(PostingSettingsTest, AddressSettings) {
  Lines log = Read({"FROMADDR 2:5020/1.5", "TOADDR 2:5020/52"});
  EXPECT_TRUE(log.empty());
  EXPECT_EQ(AddressToText(job().ownAddress), "2:5020/1.5");
  EXPECT_EQ(AddressToText(job().fromAddress), "2:5020/1.5");
  EXPECT_EQ(AddressToText(job().toAddress), "2:5020/52");

  // The value is the rest of the line: a trailing blank makes it fail.
  log = Read({"FROMADDR 3:1/1 "});
  EXPECT_EQ(log, (Lines{"Error converting 3:1/1 "}));
  EXPECT_EQ(AddressToText(job().ownAddress), "2:5020/1.5");
  // Alone on its line, the keyword is its own value.
  log = Read({"FROMADDR", "toaddr nowhere"});
  EXPECT_EQ(log,
            (Lines{"Error converting FROMADDR", "Error converting nowhere"}));
  EXPECT_EQ(AddressToText(job().toAddress), "2:5020/52");
  // A short form changes only what it names.
  Read({"FROMADDR 5030/7"});
  EXPECT_EQ(AddressToText(job().ownAddress), "2:5030/7");
  EXPECT_EQ(AddressToText(job().fromAddress), "2:5030/7");
}

TEST_F(PostingSettingsTest, AttributeLists) {
  EXPECT_EQ(ParseAttributeList("pvt loc"), 257u);
  EXPECT_EQ(ParseAttributeList("Loc Xyz"), 256u);
  EXPECT_EQ(ParseAttributeList("  K/S   hld loc LOC "), 128u | 512u | 256u);
  EXPECT_EQ(ParseAttributeList("Pvt Cra Rcv Snt Att Trs Orp K/s Loc Hld FRq "
                               "RRq RRc ARq URq Sca"),
            0xFFFFu);
  EXPECT_EQ(ParseAttributeList(""), 0u);
  Read({"FLAGS pvt hld"});
  EXPECT_EQ(job().attributes, 1u | 512u);
  Read({"FLAGS"});  // the keyword itself is no attribute name
  EXPECT_EQ(job().attributes, 0u);
  uint32_t set = 0;
  EXPECT_TRUE(AttributeFromName(&set, "sca"));
  EXPECT_FALSE(AttributeFromName(&set, "Loc,"));
  EXPECT_EQ(set, 32768u);
}

TEST_F(PostingSettingsTest, WhenRule) {
  // Sunday, 6 December 2026.
  FakeClockEnv env(Env::Default());
  env.set_clock([] { return testing_support::ClockAt(2026, 12, 6, 12); });
  ScopedEnv scoped(&env);
  struct Case {
    const char* value;
    bool before;
    bool after;
  };
  const Case cases[] = {
      {"DAILY", false, true},        {"daily", false, true},
      {"WEEKLY 7", false, true},     {"weekly 1 3 5", true, false},
      {"WEEKLY 0", true, false},     {"WEEKLY", true, false},
      {"WEEKLY x7 07", false, true}, {"MOUNTHLY 1 6 20", false, true},
      {"MONTHLY 5", true, false},    {"YEARLY 2026", false, true},
      {"YEARLY 26", true, false},    {"SOMETIMES 6", true, true},
      {"SOMETIMES 6", false, false}, {"", false, false},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.value);
    bool run = c.before;
    EvaluateWhen(c.value, &run);
    EXPECT_EQ(run, c.after);
  }
  Read({"WHEN WEEKLY 1"});
  EXPECT_FALSE(job().runToday);
  Read({"WHEN"});  // alone: the value WHEN selects nothing
  EXPECT_FALSE(job().runToday);
  Read({"when daily"});
  EXPECT_TRUE(job().runToday);
}

}  // namespace
}  // namespace kavel
