#include "msgbase/message_area.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <set>
#include <string>

#include "msgbase/fake_area_for_testing.h"
#include "msgbase/test_support.h"
#include "platform/env.h"
#include "platform/fault_env.h"
#include "platform/platform.h"

namespace kavel {
namespace {

using testing_support::TextOf;

// A format with a fixed set of message numbers and a memory text; only what
// the shared operations need.
class FakeArea : public testing_support::FakeAreaBase {
 public:
  explicit FakeArea(std::set<int32_t> numbers) : numbers_(std::move(numbers)) {
    // Kludge rewriting builds its new text through the stream hooks.
    text = std::make_unique<MemoryStream>();
  }
  bool HasMessage(int32_t n) override { return numbers_.count(n) > 0; }
  bool LoadMessage() override { return true; }
  int32_t HighestNumber() override {
    return numbers_.empty() ? 0 : *numbers_.rbegin();
  }

 private:
  std::set<int32_t> numbers_;
};

TEST(SharedOperationsTest, AddressKludges) {
  FakeArea area({1});
  area.WriteLine("\x01MSGID: 1:1/1 12345678");
  area.WriteLine("body");
  const FtnAddress orig{2, 5020, 1, 5}, dest{2, 5020, 9, 3};
  ASSERT_TRUE(area.SetOrigAddress(orig, false));
  EXPECT_EQ(TextOf(&area), "\x01MSGID: 2:5020/1.5 12345678\rbody\r");
  area.SetAreaFlag(kAreaFlagAddressKludges, true);
  ASSERT_TRUE(area.SetDestAddress(dest));
  std::string line;
  FtnAddress o, d;
  area.ReadAddresses(&o, &d);
  EXPECT_EQ(o, orig);
  EXPECT_EQ(d, dest);
  ASSERT_TRUE(area.FindKludge(kKludgeIntl, &line));
  EXPECT_EQ(line, "\x01INTL 2:5020/9 2:5020/1");
  ASSERT_TRUE(area.FindKludge(kKludgeTopt, &line));
  EXPECT_EQ(line, "\x01TOPT 3");
  // Non-point addresses remove FMPT and TOPT.
  ASSERT_TRUE(area.SetAddresses({2, 5020, 1, 0}, {2, 5020, 9, 0}));
  EXPECT_FALSE(area.FindKludge(kKludgeFmpt, &line));
  EXPECT_FALSE(area.FindKludge(kKludgeTopt, &line));
  // Kludge lines count wherever they stand; lines that only read like
  // them do not.
  FakeArea mixed({1});
  for (const char* text : {"MSGID: 7:7/7 1", "INTL 7:7/7 7:7/7",
                           " \x01INTL 7:7/7 7:7/7", "\x01INTL 3:3/3 4:4/4",
                           "\x01"
                           "FMPT 5",
                           "body", "\x01TOPT 6"}) {
    mixed.WriteLine(text);
  }
  mixed.ReadAddresses(&o, &d);
  EXPECT_EQ(o, (FtnAddress{4, 4, 4, 5}));
  EXPECT_EQ(d, (FtnAddress{3, 3, 3, 6}));
}

TEST(SplitAreaIdTest, FirstCharacterDecides) {
  const struct {
    const char* id;
    int type;
    const char* path;
  } cases[] = {{"Sc:\\sq\\foo", kAreaTypeSquish, "c:\\sq\\foo"},
               {"jC:\\JAM\\FOO", kAreaTypeJam, "C:\\JAM\\FOO"},
               {"Mc:\\msg\\", kAreaTypeMsg, "c:\\msg\\"},
               {"c:\\fido\\foo", kAreaTypeNone, "c:\\fido\\foo"},
               {"s:\\base", kAreaTypeSquish, ":\\base"}};
  for (const auto& c : cases) {
    std::string path;
    EXPECT_EQ(SplitAreaId(c.id, &path), c.type) << c.id;
    EXPECT_EQ(path, c.path) << c.id;
  }
}

TEST(FactoryTest, ExistingBaseThatFailsToOpenIsNeverRecreated) {
  TempDirForTesting dir;
  const std::string id = "S" + dir.Join("echo");
  std::unique_ptr<MessageArea> area;
  ASSERT_TRUE(OpenOrCreateMessageArea(&area, id));
  ASSERT_TRUE(area->AddMessage() && area->StoreMessage());
  ASSERT_TRUE(CloseMessageArea(&area));
  {
    FaultEnv faults(Env::Default());
    faults.DenyAccess("echo.sq?");
    ScopedEnv scoped(&faults);
    EXPECT_FALSE(OpenOrCreateMessageArea(&area, id));
    EXPECT_EQ(area, nullptr);
    EXPECT_EQ(lastAreaError, 0x3002);  // the data file did not open
  }
  ASSERT_TRUE(OpenMessageArea(&area, id));
  EXPECT_EQ(area->MessageCount(), 1);
  EXPECT_TRUE(CloseMessageArea(&area));
}

// What every format does alike, through the factory: a missing base is
// made; fields, attributes, texts and last-read pointers read back; an id
// in another letter case reopens the base and writes into its files as
// first spelled.
class FormatTest : public ::testing::TestWithParam<char> {
 protected:
  std::set<std::string> Names() const {
    std::set<std::string> names;
    for (const auto& e : std::filesystem::directory_iterator(dir_.path())) {
      names.insert(e.path().filename().string());
    }
    return names;
  }
  TempDirForTesting dir_;
};

TEST_P(FormatTest, MissingBaseIsMadeAndFoundInAnyCase) {
  const std::string id = GetParam() + dir_.Join("Echo");
  std::unique_ptr<MessageArea> area;
  EXPECT_FALSE(OpenMessageArea(&area, id));
  EXPECT_EQ(area, nullptr);
  ASSERT_TRUE(OpenOrCreateMessageArea(&area, id));
  EXPECT_EQ(area->MessageCount(), 0);
  ASSERT_TRUE(area->AddMessage());
  area->SetFromName(std::string(50, 'F'));
  area->SetToName(std::string(50, 'T'));
  area->SetSubject(std::string(100, 'S'));
  area->SetAttribute(kAttrPvt, true);
  ASSERT_TRUE(area->WriteLine("hello"));
  ASSERT_TRUE(area->StoreMessage());
  ASSERT_TRUE(area->StoreLastRead(2, 7));
  ASSERT_TRUE(CloseMessageArea(&area));
  const std::set<std::string> made = Names();

  CurrentEnv()->ForgetPathCache();
  const char lower = static_cast<char>(GetParam() - 'A' + 'a');
  ASSERT_TRUE(OpenMessageArea(&area, lower + dir_.Join("ECHO")));
  EXPECT_EQ(area->LoadLastRead(2), 7);
  area->GoTo(1);
  ASSERT_TRUE(area->LoadMessage());
  // The fixed header fields of *.MSG and Squish cut names and subjects.
  const bool jam = GetParam() == 'J';
  EXPECT_EQ(area->FromName() + area->ToName() + area->Subject(),
            std::string(jam ? 50 : 35, 'F') + std::string(jam ? 50 : 35, 'T') +
                std::string(jam ? 100 : 71, 'S'));
  EXPECT_TRUE(area->HasAttribute(kAttrPvt));
  std::string line;
  area->ReadLine(&line);
  EXPECT_EQ(line, "hello");
  ASSERT_TRUE(area->AddMessage());
  ASSERT_TRUE(area->StoreMessage());
  ASSERT_TRUE(DisposeMessageArea(&area));
  EXPECT_EQ(Names(), made);
  ASSERT_TRUE(OpenMessageArea(&area, id));
  EXPECT_EQ(area->MessageCount(), 2);
  ASSERT_TRUE(CloseMessageArea(&area));
}

INSTANTIATE_TEST_SUITE_P(Formats, FormatTest, ::testing::Values('M', 'S', 'J'));

}  // namespace
}  // namespace kavel
