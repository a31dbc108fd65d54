// Reads the *.MSG areas of the interop corpus (written by crashmail) and
// compares every message with the corpus README and the reference dumps.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "msgbase/formats/msg_area.h"
#include "msgbase/formats/smapi_dump_for_testing.h"
#include "msgbase/test_support.h"

namespace kavel {
namespace {

using testing_support::CorpusDir;

// "M" and the corpus directory of a *.MSG area.
std::string CorpusAreaId(const char* relative) {
  std::string id = "M";
  id.append(CorpusDir()).append(relative);
  return id;
}

using testing_support::DumpedMessage;
using testing_support::ReadSmapiDump;

class MsgCorpusTest : public ::testing::Test {
 protected:
  void SetUp() override {
    if (!std::filesystem::exists(CorpusDir() + "/msg/echo")) {
      GTEST_SKIP() << "interop corpus not found at " << CorpusDir();
    }
  }

  // Loads every message of the area and compares it with the dump.
  void CheckArea(const std::string& area_dir, const std::string& dump,
                 size_t expected_count) {
    std::vector<DumpedMessage> expected =
        ReadSmapiDump(CorpusDir() + "/dumps/" + dump);
    ASSERT_EQ(expected.size(), expected_count);
    const auto original = testing_support::DirectorySnapshot(area_dir);
    std::unique_ptr<MessageArea> area;
    ASSERT_TRUE(OpenMessageArea(&area, "M" + area_dir));
    EXPECT_EQ(area->MessageCount(), static_cast<int32_t>(expected_count));
    size_t i = 0;
    for (area->GoTo(1); area->IsOnMessage(); area->GoNext(), ++i) {
      ASSERT_LT(i, expected.size());
      EXPECT_EQ(area->current, static_cast<int32_t>(i + 2));
      ASSERT_TRUE(area->LoadMessage());
      FtnAddress orig, dest;
      area->ReadAddresses(&orig, &dest);
      EXPECT_EQ(area->LoadLastRead(0), 0);
      const DumpedMessage& m = expected[i];
      EXPECT_EQ(area->FromName(), m.from);
      EXPECT_EQ(area->ToName(), m.to);
      EXPECT_EQ(area->Subject(), m.subject);
      DateTimeRecord dt;
      area->DateWritten(&dt);
      EXPECT_EQ(FormatMsgDate(dt), m.ftsDate);
      std::string kludges;
      for (const std::string& k : m.kludges) kludges.append(k).append("\r");
      kludges.append(m.text);
      EXPECT_EQ(testing_support::TextOf(area.get()), kludges)
          << "message " << area->current;
      ASSERT_TRUE(area->ReleaseMessage());
    }
    EXPECT_EQ(i, expected_count);
    ASSERT_TRUE(CloseMessageArea(&area));
    EXPECT_EQ(testing_support::DirectorySnapshot(area_dir), original)
        << "reading wrote";
  }
};

TEST_F(MsgCorpusTest, EchoAreaMatchesTheReferenceDump) {
  CheckArea(CorpusDir() + "/msg/echo", "msg-echo.smapi-dump.txt", 5);
}

TEST_F(MsgCorpusTest, NetmailAreaMatchesTheReferenceDump) {
  CheckArea(CorpusDir() + "/msg/netmail", "msg-netmail.smapi-dump.txt", 2);
}

// What the README lists, checked independently of the dump parser.
TEST_F(MsgCorpusTest, ReadmeFacts) {
  std::unique_ptr<MessageArea> area;
  ASSERT_TRUE(OpenMessageArea(&area, CorpusAreaId("/msg/echo")));
  EXPECT_EQ(area->HighestNumber(), 6);
  EXPECT_FALSE(area->HasMessage(1));
  area->GoTo(1);
  ASSERT_TRUE(area->LoadMessage());
  EXPECT_EQ(area->FromName(), "Ivan Petrov");
  EXPECT_EQ(area->Subject(), "Hello from the harness");
  EXPECT_TRUE(area->HasAttribute(kAttrSnt));
  EXPECT_FALSE(area->HasAttribute(kAttrPvt));
  FtnAddress orig, dest;
  area->ReadAddresses(&orig, &dest);
  EXPECT_EQ(AddressToText(orig), "2:5020/1");
  std::string line;
  area->SetTextPos(0);
  area->ReadLine(&line);
  EXPECT_EQ(line, "\x01MSGID: 2:5020/1 4b1d0001");
  DateTimeRecord dt;
  area->DateWritten(&dt);
  EXPECT_EQ(dt.year, 2026);
  EXPECT_EQ(dt.month, 12);
  EXPECT_EQ(dt.day, 6);
  area->GoTo(4);  // message 3 of the README: CP866 names
  ASSERT_TRUE(area->LoadMessage());
  EXPECT_EQ(area->FromName(), "\x88\xA2\xA0\xAD \x8F\xA5\xE2\xE0\xAE\xA2");
  ASSERT_TRUE(CloseMessageArea(&area));

  ASSERT_TRUE(OpenMessageArea(&area, CorpusAreaId("/msg/netmail")));
  area->GoTo(3);
  ASSERT_TRUE(area->LoadMessage());
  EXPECT_TRUE(area->HasAttribute(kAttrPvt));
  EXPECT_TRUE(area->HasAttribute(kAttrSnt));
  area->ReadAddresses(&orig, &dest);
  EXPECT_EQ(AddressToText(orig), "2:5020/1.5");
  EXPECT_EQ(AddressToText(dest), "2:5020/9999");
  EXPECT_EQ(area->Subject().substr(0, 1), "\x8D");
}

}  // namespace
}  // namespace kavel
