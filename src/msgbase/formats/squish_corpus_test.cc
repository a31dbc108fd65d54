// Squish bases written by an independent Squish library: every message
// loads with the header fields and text that library reads back (its dumps
// in the corpus), and storing or deleting in a copy leaves everything else
// intact.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "msgbase/byte_stream.h"
#include "msgbase/formats/squish_area.h"
#include "msgbase/formats/squish_checker_for_testing.h"
#include "msgbase/formats/smapi_dump_for_testing.h"
#include "msgbase/test_support.h"
#include "platform/temp_dir_for_testing.h"

namespace kavel {
namespace {

using testing_support::DumpDateText;
using testing_support::DumpedMessage;
using testing_support::ReadSmapiDump;
using testing_support::TextOf;

FtnAddress FromStored(const SquishStoredAddress& s) {
  FtnAddress a;
  a.zone = s.zone;
  a.net = s.net;
  a.node = s.node;
  a.point = s.point;
  return a;
}

class SquishCorpusTest : public ::testing::TestWithParam<const char*> {
 protected:
  void SetUp() override {
    const std::string area = GetParam();
    for (const char* ext : {".sqd", ".sqi"}) {
      std::filesystem::path to = dir_.Join(area + ext);
      std::filesystem::copy_file(
          testing_support::CorpusDir() + "/squish/" + area + ext, to);
      std::filesystem::permissions(to, std::filesystem::perms::owner_write,
                                   std::filesystem::perm_options::add);
    }
    expected_ = ReadSmapiDump(testing_support::CorpusDir() + "/dumps/squish-" +
                              area + ".smapi-dump.txt");
    // A loaded message presents its kludge lines first.
    for (DumpedMessage& m : expected_) {
      std::string kludges;
      for (const std::string& k : m.kludges) kludges += k + "\r";
      m.text = kludges + m.text;
    }
    base_ = dir_.Join(area);
  }
  std::string Check() const {
    return CheckSquishBase(base_ + ".sqd", base_ + ".sqi");
  }

  // Every message of the dump, loaded from the first positions of `area`.
  void ExpectDumpedMessages(SquishArea* area) {
    ASSERT_GE(area->MessageCount(), static_cast<int32_t>(expected_.size()));
    for (size_t i = 0; i < expected_.size(); ++i) {
      const DumpedMessage& m = expected_[i];
      SCOPED_TRACE(i + 1);
      area->GoTo(static_cast<int32_t>(i + 1));
      ASSERT_TRUE(area->LoadMessage());
      EXPECT_EQ(static_cast<uint32_t>(area->CurrentNumber()), m.uid);
      EXPECT_EQ(area->FromName(), m.from);
      EXPECT_EQ(area->ToName(), m.to);
      EXPECT_EQ(area->Subject(), m.subject);
      EXPECT_EQ(area->message_header().attributes, m.attributes);
      EXPECT_EQ(AddressToText4D(FromStored(area->message_header().origAddress)),
                m.orig);
      EXPECT_EQ(AddressToText4D(FromStored(area->message_header().destAddress)),
                m.dest);
      EXPECT_EQ(area->message_header().ftsDate, m.ftsDate);
      DateTimeRecord dt;
      area->DateWritten(&dt);
      EXPECT_EQ(DumpDateText(dt), m.written);
      area->DateArrived(&dt);
      EXPECT_EQ(DumpDateText(dt), m.arrived);
      EXPECT_EQ(TextOf(area), m.text);
      area->ReleaseMessage();
    }
  }

  TempDirForTesting dir_;
  std::string base_;
  std::vector<DumpedMessage> expected_;
};

TEST_P(SquishCorpusTest, LoadsEveryMessageAsTheOtherLibraryReadsIt) {
  ASSERT_GE(expected_.size(), 2u);
  EXPECT_EQ(Check(), "");
  SquishArea area(base_);
  ASSERT_TRUE(area.OpenArea(base_));
  EXPECT_EQ(area.layout(), SquishLayout::kStandard);
  EXPECT_EQ(area.MessageCount(), static_cast<int32_t>(expected_.size()));
  ExpectDumpedMessages(&area);
  area.GoTo(1);
  ASSERT_TRUE(area.LoadMessage());
  // The dump names the sender and recipient the kludges give.
  FtnAddress orig;
  area.OrigAddress(&orig);
  EXPECT_EQ(AddressToText4D(orig), expected_[0].orig);
  // Reading changes nothing on disk.
  const std::string before = ReadWholeFileForTesting(base_ + ".sqd");
  area.CloseArea();
  EXPECT_EQ(ReadWholeFileForTesting(base_ + ".sqd"), before);
}

TEST_P(SquishCorpusTest, StoringLeavesTheOtherMessagesAndChainsIntact) {
  const std::string before = ReadWholeFileForTesting(base_ + ".sqd");
  SquishArea area(base_);
  ASSERT_TRUE(area.OpenArea(base_));
  const uint32_t last = area.base_header().lastFrame;
  const uint32_t end = area.base_header().endOfData;
  ASSERT_TRUE(area.AddMessage());
  area.SetFromName("Kavel");
  area.SetToName("All");
  ASSERT_TRUE(area.WriteLine("\x01MSGID: 2:5020/1 12345678"));
  ASSERT_TRUE(area.WriteLine("new text"));
  ASSERT_TRUE(area.StoreMessage());
  EXPECT_EQ(area.current_frame_offset(), end);
  area.CloseArea();
  EXPECT_EQ(Check(), "");

  // Only the old tail's nextFrame and the base header changed.
  const std::string after = ReadWholeFileForTesting(base_ + ".sqd");
  ASSERT_GT(after.size(), before.size());
  std::string expected_old = before;
  expected_old.replace(last + 4, 4, after.substr(last + 4, 4));
  EXPECT_EQ(after.substr(256, before.size() - 256), expected_old.substr(256));

  ASSERT_TRUE(area.OpenArea(base_));
  ExpectDumpedMessages(&area);
  area.GoTo(static_cast<int32_t>(expected_.size() + 1));
  ASSERT_TRUE(area.LoadMessage());
  EXPECT_EQ(TextOf(&area), "\x01MSGID: 2:5020/1 12345678\rnew text\r");
  EXPECT_EQ(area.FromName(), "Kavel");
}

TEST_P(SquishCorpusTest, DeleteAndReuseInACopy) {
  SquishArea area(base_);
  ASSERT_TRUE(area.OpenArea(base_));
  area.GoTo(1);
  ASSERT_TRUE(area.DeleteMessage());
  EXPECT_EQ(Check(), "");
  ASSERT_TRUE(area.AddMessage());
  ASSERT_TRUE(area.WriteLine("short"));
  ASSERT_TRUE(area.StoreMessage());
  EXPECT_EQ(area.current_frame_offset(), 256u);  // the freed first frame
  area.CloseArea();
  EXPECT_EQ(Check(), "");
  ASSERT_TRUE(area.OpenArea(base_));
  for (size_t i = 1; i < expected_.size(); ++i) {
    area.GoTo(static_cast<int32_t>(i));
    ASSERT_TRUE(area.LoadMessage());
    EXPECT_EQ(TextOf(&area), expected_[i].text);
  }
  area.GoTo(static_cast<int32_t>(expected_.size()));
  ASSERT_TRUE(area.LoadMessage());
  EXPECT_EQ(TextOf(&area), "short\r");
}

INSTANTIATE_TEST_SUITE_P(Areas, SquishCorpusTest,
                         ::testing::Values("echo", "netmail"));

}  // namespace
}  // namespace kavel
