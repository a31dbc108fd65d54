// JAM bases written by independent programs (the interop corpus): every
// message must load with the header fields, kludge lines and text that an
// independent reader (the smapi dumps beside the bases) shows, and reading
// must leave the files as they were.
#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "msgbase/formats/jam_area.h"
#include "msgbase/message_area.h"
#include "msgbase/formats/smapi_dump_for_testing.h"
#include "msgbase/test_support.h"
#include "platform/env.h"
#include "platform/platform.h"

namespace kavel {
namespace {

using testing_support::CorpusDir;
using testing_support::DirectorySnapshot;
using testing_support::DumpDateText;
using testing_support::DumpedMessage;
using testing_support::ReadSmapiDump;
using testing_support::TextOf;

class JamCorpusTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(std::filesystem::is_directory(CorpusDir() + "/jam"))
        << "interop corpus not found at " << CorpusDir();
  }

  // Copies one corpus directory ("jam", "jam-smapi", ...) into the temp
  // directory; returns the copy's path.
  std::string Copy(const std::string& subdir) {
    std::string to = dir_.Join(subdir);
    std::filesystem::copy(CorpusDir() + "/" + subdir, to);
    Env::Default()->ForgetPathCache();
    return to;
  }

  // Loads every message of the base and compares it with the dump.
  void CheckBase(const std::string& subdir, const std::string& name) {
    SCOPED_TRACE(subdir + "/" + name);
    std::string dir = Copy(subdir);
    auto before = DirectorySnapshot(dir);
    auto dumped = ReadSmapiDump(CorpusDir() + "/dumps/" + subdir + "-" + name +
                                ".smapi-dump.txt");
    ASSERT_FALSE(dumped.empty());

    std::unique_ptr<MessageArea> area;
    ASSERT_TRUE(OpenMessageArea(&area, "J" + dir + "/" + name));
    EXPECT_EQ(area->MessageCount(), static_cast<int32_t>(dumped.size()));
    size_t i = 0;
    for (area->GoTo(1); area->IsOnMessage(); area->GoNext(), ++i) {
      SCOPED_TRACE("message " + std::to_string(i + 1));
      ASSERT_LT(i, dumped.size());
      const DumpedMessage& want = dumped[i];
      EXPECT_EQ(area->CurrentNumber(), static_cast<int32_t>(i + 1));
      ASSERT_TRUE(area->LoadMessage());
      EXPECT_EQ(area->FromName(), want.from);
      EXPECT_EQ(area->ToName(), want.to);
      EXPECT_EQ(area->Subject(), want.subject);
      DateTimeRecord written;
      area->DateWritten(&written);
      EXPECT_EQ(DumpDateText(written), want.written);
      // smapi makes INTL and FMPT lines from the address subfields; a
      // loaded JAM message presents only the kludges that were stored.
      std::string expected;
      for (const std::string& kludge : want.kludges) {
        if (kludge.rfind("\x01INTL", 0) == 0 ||
            kludge.rfind("\x01" "FMPT", 0) == 0) {
          continue;
        }
        expected += kludge + "\r";
      }
      expected += want.text;
      EXPECT_EQ(TextOf(area.get()), expected);
      area->ReleaseMessage();
    }
    EXPECT_EQ(i, dumped.size());
    ASSERT_TRUE(CloseMessageArea(&area));
    EXPECT_EQ(DirectorySnapshot(dir), before);
  }

  TempDirForTesting dir_;
};

TEST_F(JamCorpusTest, TosserEchoBase) { CheckBase("jam", "echo"); }
TEST_F(JamCorpusTest, TosserNetmailBase) { CheckBase("jam", "netmail"); }
TEST_F(JamCorpusTest, LibraryEchoBaseWithoutLastReadFile) {
  CheckBase("jam-smapi", "echo");
}
TEST_F(JamCorpusTest, StockTosserBaseWithWrongCrcs) {
  CheckBase("jam-stock", "echo");
}

TEST_F(JamCorpusTest, NetmailAddressesAndAttributes) {
  std::string dir = Copy("jam");
  JamArea area("");
  ASSERT_TRUE(area.OpenArea(dir + "/netmail"));
  area.GoTo(2);
  ASSERT_TRUE(area.LoadMessage());
  FtnAddress orig, dest;
  area.ReadAddresses(&orig, &dest);
  EXPECT_EQ(AddressToText4D(orig), "2:5020/1.5");   // MSGID kludge
  EXPECT_EQ(AddressToText4D(dest), "2:5020/9999.0");  // DADDRESS subfield
  area.DestAddress(&dest);
  EXPECT_EQ(AddressToText4D(dest), "2:5020/9999.0");
  EXPECT_TRUE(area.HasAttribute(kAttrPvt));
  EXPECT_TRUE(area.HasAttribute(kAttrSnt));
  EXPECT_FALSE(area.HasAttribute(kAttrLoc));
  // No MSGID is invented and no address rewritten.
  std::string line;
  ASSERT_TRUE(area.FindKludge("\x01MSGID:", &line));
  EXPECT_EQ(line, "\x01MSGID: 2:5020/1.5 4b1d0012");
  EXPECT_FALSE(area.FindKludge("\x01INTL", &line));
}

TEST_F(JamCorpusTest, AppendingToForeignBasesKeepsTheirMessages) {
  for (const std::string subdir : {"jam", "jam-smapi", "jam-stock"}) {
    SCOPED_TRACE(subdir);
    std::string base = Copy(subdir) + "/echo";
    std::vector<std::string> texts;
    JamArea area("");
    ASSERT_TRUE(area.OpenArea(base));
    const int32_t highest = area.HighestNumber();
    const int32_t count = area.MessageCount();
    for (int n = 1; n <= highest; ++n) {
      area.GoTo(n);
      ASSERT_TRUE(area.LoadMessage());
      texts.push_back(TextOf(&area));
    }
    ASSERT_TRUE(area.AddMessage());
    area.SetFromName("Kavel");
    area.SetToName("All");
    area.SetSubject("Appended");
    area.WriteLine("\x01MSGID: 2:5020/1 00000042");
    area.WriteLine("Appended text");
    ASSERT_TRUE(area.StoreMessage());
    EXPECT_EQ(area.CurrentNumber(), highest + 1);
    area.CloseArea();
    EXPECT_TRUE(std::filesystem::exists(base + ".jlr"));

    ASSERT_TRUE(area.OpenArea(base));
    EXPECT_EQ(area.MessageCount(), count + 1);
    EXPECT_EQ(area.HighestNumber(), highest + 1);
    for (int n = 1; n <= highest; ++n) {
      area.GoTo(n);
      ASSERT_TRUE(area.LoadMessage());
      EXPECT_EQ(TextOf(&area), texts[static_cast<size_t>(n - 1)]);
    }
    area.GoTo(highest + 1);
    ASSERT_TRUE(area.LoadMessage());
    EXPECT_EQ(area.message_header().messageNumber,
              static_cast<uint32_t>(highest + 1));
    EXPECT_EQ(TextOf(&area),
              "\x01MSGID: 2:5020/1 00000042\rAppended text\r");
  }
}

}  // namespace
}  // namespace kavel
