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
  int32_t MessageCount() override {
    return static_cast<int32_t>(numbers_.size());
  }

 private:
  std::set<int32_t> numbers_;
};

TEST(NavigationTest, WalksOverGaps) {
  FakeArea area({1, 2, 5});
  area.GoTo(3);
  EXPECT_EQ(area.current, 5);
  area.GoNext();
  EXPECT_FALSE(area.IsOnMessage());
  area.GoTo(5);
  area.GoPrevious();
  EXPECT_EQ(area.current, 2);
  area.GoPrevious();
  EXPECT_EQ(area.current, 1);
  area.GoPrevious();
  EXPECT_EQ(area.current, 0);
  area.GoTo(1);
  EXPECT_EQ(area.current, 1);
  area.GoNext();
  EXPECT_EQ(area.current, 2);
  area.GoTo(-100);
  EXPECT_EQ(area.current, 1);
  area.GoTo(INT32_MAX);
  EXPECT_EQ(area.current, 0);
}

TEST(SharedOperationsTest, AreaFlagsAndTextOperations) {
  FakeArea area({1});
  EXPECT_FALSE(area.HasAreaFlag(1));
  area.SetAreaFlag(3, true);
  EXPECT_TRUE(area.HasAreaFlag(3));
  area.SetAreaFlag(1, false);
  EXPECT_FALSE(area.HasAreaFlag(3));
  EXPECT_TRUE(area.HasAreaFlag(2));
  EXPECT_TRUE(area.WriteLine(std::string(300, 'w')));
  EXPECT_EQ(area.TextSize(), 256) << "WriteLine cuts at 255";
  EXPECT_TRUE(area.AtTextEnd());
  area.SetTextPos(0);
  std::string line;
  area.ReadLine(&line);
  EXPECT_EQ(line.size(), 255u);
  EXPECT_EQ(area.TextStream(), area.text.get());
}

TEST(SharedOperationsTest, OrigAddressKeepsOrRenewsTheSerial) {
  FakeArea area({1});
  area.WriteLine("\x01MSGID: 1:1/1 12345678");
  area.WriteLine("body");
  FtnAddress a;
  ASSERT_TRUE(ParseAddress("2:5020/1.5", &a));
  ASSERT_TRUE(area.SetOrigAddress(a, false));
  EXPECT_EQ(testing_support::TextOf(&area), "\x01MSGID: 2:5020/1.5 12345678\rbody\r");
  ASSERT_TRUE(area.SetOrigAddress(a, true));
  std::string line;
  ASSERT_TRUE(area.FindKludge(kKludgeMsgId, &line));
  EXPECT_EQ(line.substr(0, 19), "\x01MSGID: 2:5020/1.5 ");
  EXPECT_EQ(line.size(), 27u);
  EXPECT_NE(line.substr(19), "12345678");
  FtnAddress orig;
  area.OrigAddress(&orig);
  EXPECT_EQ(orig, a);
}

TEST(SharedOperationsTest, AddressKludgesWithTheAreaFlag) {
  FakeArea area({1});
  area.SetAreaFlag(kAreaFlagAddressKludges, true);
  FtnAddress orig, dest;
  ASSERT_TRUE(ParseAddress("2:5020/1.5", &orig));
  ASSERT_TRUE(ParseAddress("2:5020/9.3", &dest));
  ASSERT_TRUE(area.SetOrigAddress(orig, true));
  ASSERT_TRUE(area.SetDestAddress(dest));
  FtnAddress o, d;
  area.ReadAddresses(&o, &d);
  EXPECT_EQ(o, orig);
  EXPECT_EQ(d, dest);
  std::string line;
  ASSERT_TRUE(area.FindKludge(kKludgeIntl, &line));
  EXPECT_EQ(line, "\x01INTL 2:5020/9 2:5020/1");
  ASSERT_TRUE(area.FindKludge(kKludgeTopt, &line));
  EXPECT_EQ(line, "\x01TOPT 3");
  // Non-point addresses remove FMPT and TOPT.
  ASSERT_TRUE(ParseAddress("2:5020/1", &orig));
  ASSERT_TRUE(ParseAddress("2:5020/9", &dest));
  ASSERT_TRUE(area.SetAddresses(orig, dest));
  EXPECT_FALSE(area.FindKludge(kKludgeFmpt, &line));
  EXPECT_FALSE(area.FindKludge(kKludgeTopt, &line));
}

TEST(SharedOperationsTest, WithoutTheFlagNoDestinationIsRecorded) {
  FakeArea area({1});
  FtnAddress dest;
  ASSERT_TRUE(ParseAddress("2:5020/9.3", &dest));
  ASSERT_TRUE(area.SetDestAddress(dest));
  EXPECT_EQ(area.TextSize(), 0);
  area.text.reset();  // no message: operations answer no, nothing crashes
  EXPECT_FALSE(area.WriteLine("x"));
  EXPECT_FALSE(area.SetOrigAddress(dest, true));
  std::string line = "stale";
  EXPECT_FALSE(area.FindKludge(kKludgeMsgId, &line));
  EXPECT_TRUE(area.AtTextEnd());
}

TEST(SplitAreaIdTest, FirstCharacterDecides) {
  std::string path;
  EXPECT_EQ(SplitAreaId("Sc:\\fido\\sq\\foo", &path), kAreaTypeSquish);
  EXPECT_EQ(path, "c:\\fido\\sq\\foo");
  EXPECT_EQ(SplitAreaId("jC:\\JAM\\FOO", &path), kAreaTypeJam);
  EXPECT_EQ(path, "C:\\JAM\\FOO");
  for (const char* id : {"Mc:\\msg\\", "Fc:\\msg\\", "*c:\\msg\\", "mc:\\msg\\"}) {
    EXPECT_EQ(SplitAreaId(id, &path), kAreaTypeMsg);
    EXPECT_EQ(path, "c:\\msg\\");
  }
  EXPECT_EQ(SplitAreaId("c:\\fido\\foo", &path), kAreaTypeNone);
  EXPECT_EQ(path, "c:\\fido\\foo");
  EXPECT_EQ(SplitAreaId("s:\\base", &path), kAreaTypeSquish);
  EXPECT_EQ(path, ":\\base");
  EXPECT_EQ(SplitAreaId("", &path), kAreaTypeNone);
}

class FactoryTest : public ::testing::Test {
 protected:
  TempDirForTesting dir_;
};

TEST_F(FactoryTest, UnknownTypeMakesNoObject) {
  std::unique_ptr<MessageArea> area;
  lastAreaError = 0;
  EXPECT_FALSE(OpenMessageArea(&area, "c:\\fido\\foo"));
  EXPECT_EQ(area, nullptr);
  EXPECT_EQ(lastAreaError, 0xA000);
  EXPECT_FALSE(CreateAreaObject(&area, ""));
  EXPECT_FALSE(CloseMessageArea(&area));
  EXPECT_FALSE(DisposeMessageArea(&area));
}

// Each format through the factory: a missing base is made, and an id in
// another letter case (type letter included) reopens it and writes into the
// files as they were first spelled.
class FormatFactoryTest : public ::testing::TestWithParam<char> {
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

TEST_P(FormatFactoryTest, MissingBaseIsMadeAndFoundInAnyCase) {
  const std::string id = GetParam() + dir_.Join("Echo");
  std::unique_ptr<MessageArea> area;
  EXPECT_FALSE(OpenMessageArea(&area, id));
  EXPECT_EQ(area, nullptr);
  ASSERT_TRUE(OpenOrCreateMessageArea(&area, id));
  EXPECT_EQ(area->MessageCount(), 0);
  ASSERT_TRUE(area->AddMessage());
  ASSERT_TRUE(area->WriteLine("hello"));
  ASSERT_TRUE(area->StoreMessage());
  ASSERT_TRUE(CloseMessageArea(&area));
  EXPECT_EQ(area, nullptr);
  const std::set<std::string> made = Names();
  Env::Default()->ForgetPathCache();
  const char lower = static_cast<char>(GetParam() - 'A' + 'a');
  ASSERT_TRUE(OpenMessageArea(&area, lower + dir_.Join("ECHO")));
  EXPECT_TRUE(area->BaseExists(dir_.Join("eCHO")));
  area->GoTo(1);
  ASSERT_TRUE(area->LoadMessage());
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

INSTANTIATE_TEST_SUITE_P(Formats, FormatFactoryTest,
                         ::testing::Values('M', 'S', 'J'));

// A base whose files exist but do not open: it must never be recreated.
TEST_F(FactoryTest, ExistingBaseThatFailsToOpenIsNeverRecreated) {
  const std::string id = "S" + dir_.Join("echo");
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

TEST_F(FactoryTest, FailedOpenOrCreateReleasesTheObject) {
  std::unique_ptr<MessageArea> area;
  // The parent directory does not exist: neither open nor create works.
  EXPECT_FALSE(OpenOrCreateMessageArea(
      &area, std::string("M") + dir_.Join("no/such/parent/area")));
  EXPECT_EQ(area, nullptr);
  EXPECT_EQ(lastAreaError, 0x1000);
}

}  // namespace
}  // namespace kavel
