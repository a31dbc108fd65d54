// JAM and Squish beside other writers: the byte-0 lock of the header (JAM)
// or data (Squish) file, the base header read afresh under it, and what
// happens when the lock is not had.
#include "msgbase/base_lock.h"

#include <gtest/gtest.h>

#include <map>
#include <string>
#include <type_traits>

#include "msgbase/byte_stream.h"
#include "msgbase/formats/jam_area.h"
#include "msgbase/formats/squish_area.h"
#include "msgbase/formats/squish_checker_for_testing.h"
#include "msgbase/lock_holder_for_testing.h"
#include "msgbase/test_support.h"
#include "platform/env.h"
#include "platform/temp_dir_for_testing.h"

namespace kavel {
namespace {

using testing_support::LockHolder;

struct JamFormat {
  using Area = JamArea;
  static constexpr const char* kLockedFile = "echo.jhr";
  static constexpr int32_t kLocked = kJamErrorLocked;
  // A header counter every store moves.
  static uint32_t Counter(const Area& a) { return a.base_header().modCounter; }
  static constexpr uint32_t kCounterAfterThree = 3;
};

struct SquishFormat {
  using Area = SquishArea;
  static constexpr const char* kLockedFile = "echo.sqd";
  static constexpr int32_t kLocked = kSquishErrorLocked;
  static uint32_t Counter(const Area& a) { return a.base_header().nextUid; }
  static constexpr uint32_t kCounterAfterThree = 4;
};

template <typename Format>
class BaseLockTest : public ::testing::Test {
 protected:
  using Area = typename Format::Area;
  void SetUp() override { base_ = dir_.Join("echo"); }
  void TearDown() override { SetBaseLockWaitMs(60000); }

  static void Start(MessageArea* area, const std::string& line) {
    ASSERT_TRUE(area->AddMessage());
    area->SetToName("All");
    area->SetSubject(line);
    ASSERT_TRUE(area->WriteLine(line));
  }
  // A base holding one stored message per line.
  void MakeBase(std::initializer_list<const char*> lines) {
    Area creator(base_);
    ASSERT_TRUE(creator.CreateArea(base_));
    for (const char* line : lines) {
      Start(&creator, line);
      ASSERT_TRUE(creator.StoreMessage());
      creator.ReleaseMessage();
    }
  }
  std::map<std::string, std::string> Files() const {
    return testing_support::DirectorySnapshot(dir_.path());
  }
  static constexpr bool kSquish = std::is_same_v<Area, SquishArea>;
  std::string Check() const {
    return kSquish ? CheckSquishBase(base_ + ".sqd", base_ + ".sqi") : "";
  }

  TempDirForTesting dir_;
  std::string base_;
};

using Formats = ::testing::Types<JamFormat, SquishFormat>;
TYPED_TEST_SUITE(BaseLockTest, Formats);

TYPED_TEST(BaseLockTest, TwoOpenAreasKeepEachOthersMessages) {
  this->MakeBase({});
  // Both read the base header while it was empty; each store must work
  // from the header as the other one left it.
  typename TypeParam::Area a(this->base_), b(this->base_);
  ASSERT_TRUE(a.OpenArea(this->base_));
  ASSERT_TRUE(b.OpenArea(this->base_));
  this->Start(&a, "from a");
  this->Start(&b, "from b");
  ASSERT_TRUE(a.StoreMessage());
  ASSERT_TRUE(b.StoreMessage());
  a.ReleaseMessage();
  b.ReleaseMessage();
  this->Start(&a, "again from a");
  ASSERT_TRUE(a.StoreMessage());
  EXPECT_EQ(a.current, 3);
  a.ReleaseMessage();
  // Closing writes nothing: b's stale view does not undo a's third message.
  b.CloseArea();
  a.CloseArea();
  EXPECT_EQ(this->Check(), "");

  typename TypeParam::Area reader(this->base_);
  ASSERT_TRUE(reader.OpenArea(this->base_));
  ASSERT_EQ(reader.MessageCount(), 3);
  EXPECT_EQ(TypeParam::Counter(reader), TypeParam::kCounterAfterThree);
}

// Held by another process: every write fails with status after the wait
// and changes nothing; reading takes no lock. Released: stores proceed.
TYPED_TEST(BaseLockTest, WritesFailCleanlyWhileTheLockIsHeld) {
  this->MakeBase({"kept"});
  SetBaseLockWaitMs(100);
  LockHolder holder(this->dir_.path());
  ASSERT_TRUE(holder.Hold(this->dir_.Join(TypeParam::kLockedFile)));
  const auto before = this->Files();

  typename TypeParam::Area area(this->base_);
  ASSERT_TRUE(area.OpenArea(this->base_));  // reading takes no lock
  this->Start(&area, "refused");
  EXPECT_FALSE(area.StoreMessage());
  EXPECT_EQ(area.status, TypeParam::kLocked);
  area.ReleaseMessage();
  area.CloseArea();
  EXPECT_EQ(this->Files(), before);

  holder.Release();
  ASSERT_TRUE(area.OpenArea(this->base_));
  this->Start(&area, "accepted");
  EXPECT_TRUE(area.StoreMessage());
  EXPECT_EQ(area.current, 2);
  area.CloseArea();
  EXPECT_EQ(this->Check(), "");
}

}  // namespace
}  // namespace kavel
