// JAM and Squish beside other writers: the byte-0 lock of the header (JAM)
// or data (Squish) file, the base header read afresh under it, and what
// happens when the lock is not had.
#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <string>
#include <thread>

#include "msgbase/base_lock.h"
#include "msgbase/byte_stream.h"
#include "msgbase/formats/jam_area.h"
#include "msgbase/formats/squish_area.h"
#include "msgbase/formats/squish_checker_for_testing.h"
#include "msgbase/lock_holder_for_testing.h"
#include "platform/temp_dir_for_testing.h"

namespace kavel {
namespace {

using testing_support::LockHolder;

struct JamFormat {
  using Area = JamArea;
  static constexpr const char* kLockedFile = "echo.jhr";
  static constexpr int32_t kLocked = kJamErrorLocked;
  static constexpr bool kLastReadTakesTheLock = true;
  static std::vector<std::string> Files() {
    return {"echo.jhr", "echo.jdx", "echo.jdt", "echo.jlr"};
  }
  static std::string Check(const TempDirForTesting&) { return ""; }
  // A header counter every store moves: JAM's modCounter.
  static uint32_t Counter(const Area& area) {
    return area.base_header().modCounter;
  }
  static constexpr uint32_t kCounterAfterThree = 3;
};

struct SquishFormat {
  using Area = SquishArea;
  static constexpr const char* kLockedFile = "echo.sqd";
  static constexpr int32_t kLocked = kSquishErrorLocked;
  static constexpr bool kLastReadTakesTheLock = false;
  static std::vector<std::string> Files() { return {"echo.sqd", "echo.sqi"}; }
  static std::string Check(const TempDirForTesting& dir) {
    return CheckSquishBase(dir.Join("echo.sqd"), dir.Join("echo.sqi"));
  }
  static uint32_t Counter(const Area& area) {
    return area.base_header().nextUid;
  }
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
  static std::string FirstLine(MessageArea* area, int32_t position) {
    area->current = position;
    if (!area->LoadMessage()) return "<load failed>";
    std::string line;
    area->SetTextPos(0);
    area->ReadLine(&line);
    area->ReleaseMessage();
    return line;
  }
  // A base holding one stored message with the given line.
  void MakeBase(const std::string& line) {
    Area creator(base_);
    ASSERT_TRUE(creator.CreateArea(base_));
    if (!line.empty()) {
      Start(&creator, line);
      ASSERT_TRUE(creator.StoreMessage());
    }
  }
  std::string Files() const {
    std::string all;
    for (const std::string& name : Format::Files()) {
      all += dir_.ReadFile(name) + "|";
    }
    return all;
  }
  std::string Check() const { return Format::Check(dir_); }

  TempDirForTesting dir_;
  std::string base_;
};

using Formats = ::testing::Types<JamFormat, SquishFormat>;
TYPED_TEST_SUITE(BaseLockTest, Formats);

TYPED_TEST(BaseLockTest, TwoOpenAreasKeepEachOthersMessages) {
  this->MakeBase("");
  // Both read the base header while it was empty; each store must work
  // from the header as the other one left it.
  typename TypeParam::Area a(this->base_), b(this->base_);
  ASSERT_TRUE(a.OpenArea(this->base_));
  ASSERT_TRUE(b.OpenArea(this->base_));
  this->Start(&a, "from a");
  this->Start(&b, "from b");
  ASSERT_TRUE(a.StoreMessage());
  ASSERT_TRUE(b.StoreMessage());
  EXPECT_EQ(a.CurrentNumber(), 1);
  EXPECT_EQ(b.current, 2);
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
  EXPECT_EQ(this->FirstLine(&reader, 1), "from a");
  EXPECT_EQ(this->FirstLine(&reader, 2), "from b");
  EXPECT_EQ(this->FirstLine(&reader, 3), "again from a");
  for (int32_t position = 1; position <= 3; ++position) {
    reader.current = position;
    EXPECT_EQ(reader.CurrentNumber(), position);
  }
}

TYPED_TEST(BaseLockTest, StoreWaitsForAnotherWriterAndThenSucceeds) {
  typename TypeParam::Area area(this->base_);
  ASSERT_TRUE(area.CreateArea(this->base_));
  LockHolder holder(this->dir_.path());
  ASSERT_TRUE(holder.Hold(this->dir_.Join(TypeParam::kLockedFile)));
  this->Start(&area, "waited");
  std::atomic<bool> done{false};
  bool stored = false;
  std::thread writer([&] {
    stored = area.StoreMessage();
    done = true;
  });
  std::this_thread::sleep_for(std::chrono::milliseconds(300));
  const bool wrote_under_foreign_lock = done;
  holder.Release();
  writer.join();
  EXPECT_FALSE(wrote_under_foreign_lock);
  EXPECT_TRUE(stored);
  area.ReleaseMessage();
  area.CloseArea();
  EXPECT_EQ(this->Check(), "");
  ASSERT_TRUE(area.OpenArea(this->base_));
  EXPECT_EQ(area.MessageCount(), 1);
  EXPECT_EQ(this->FirstLine(&area, 1), "waited");
}

TYPED_TEST(BaseLockTest, WritesFailCleanlyWhileTheLockIsHeld) {
  this->MakeBase("kept");
  const std::string before = this->Files();
  SetBaseLockWaitMs(100);
  LockHolder holder(this->dir_.path());
  ASSERT_TRUE(holder.Hold(this->dir_.Join(TypeParam::kLockedFile)));

  typename TypeParam::Area area(this->base_);
  ASSERT_TRUE(area.OpenArea(this->base_));  // reading takes no lock
  EXPECT_EQ(this->FirstLine(&area, 1), "kept");
  this->Start(&area, "refused");
  EXPECT_FALSE(area.StoreMessage());
  EXPECT_EQ(area.status, TypeParam::kLocked);
  area.ReleaseMessage();
  area.current = 1;
  ASSERT_TRUE(area.LoadMessage());
  EXPECT_FALSE(area.DeleteMessage());
  EXPECT_EQ(area.status, TypeParam::kLocked);
  if (TypeParam::kLastReadTakesTheLock) {
    EXPECT_FALSE(area.StoreLastRead(1, 1));
  }
  area.CloseArea();
  EXPECT_EQ(this->Files(), before);

  // Creating over the locked base neither empties it nor waits forever.
  typename TypeParam::Area creator(this->base_);
  EXPECT_FALSE(creator.CreateArea(this->base_));
  EXPECT_EQ(creator.status, TypeParam::kLocked);
  EXPECT_EQ(this->Files(), before);

  holder.Release();
  ASSERT_TRUE(area.OpenArea(this->base_));
  this->Start(&area, "accepted");
  EXPECT_TRUE(area.StoreMessage());
  EXPECT_EQ(area.current, 2);
  area.CloseArea();
  EXPECT_EQ(this->Check(), "");
}

TYPED_TEST(BaseLockTest, CreatingAnExistingBaseKeepsIt) {
  this->MakeBase("made by the first writer");
  // A second writer that found no base a moment earlier creates it too.
  typename TypeParam::Area second(this->base_);
  ASSERT_TRUE(second.CreateArea(this->base_));
  EXPECT_EQ(second.MessageCount(), 1);
  this->Start(&second, "added by the second");
  ASSERT_TRUE(second.StoreMessage());
  EXPECT_EQ(second.current, 2);
  EXPECT_EQ(this->FirstLine(&second, 1), "made by the first writer");
  second.CloseArea();
  EXPECT_EQ(this->Check(), "");
}

using SquishLockTest = BaseLockTest<SquishFormat>;

TEST_F(SquishLockTest, RewriteAndDeleteFindTheirMessageAfterOthersDeleted) {
  {
    SquishArea creator(base_);
    ASSERT_TRUE(creator.CreateArea(base_));
    for (const char* line : {"one", "two", "three"}) {
      Start(&creator, line);
      ASSERT_TRUE(creator.StoreMessage());
    }
  }
  SquishArea a(base_), b(base_);
  ASSERT_TRUE(a.OpenArea(base_));
  ASSERT_TRUE(b.OpenArea(base_));
  a.current = 3;
  ASSERT_TRUE(a.LoadMessage());  // "three", unique number 3
  b.current = 1;
  ASSERT_TRUE(b.DeleteMessage());  // "one" goes; "three" moves to 2
  a.SetSubject("rewritten");
  ASSERT_TRUE(a.StoreMessage());
  EXPECT_EQ(a.current, 2);
  ASSERT_TRUE(a.DeleteMessage());
  a.CloseArea();
  b.CloseArea();
  EXPECT_EQ(Check(), "");
  SquishArea reader(base_);
  ASSERT_TRUE(reader.OpenArea(base_));
  ASSERT_EQ(reader.MessageCount(), 1);
  EXPECT_EQ(FirstLine(&reader, 1), "two");
}

TEST_F(SquishLockTest, DataFileWithoutBaseHeaderIsLaidDownAfresh) {
  dir_.WriteFile("bar.sqd", "");
  SquishArea area(dir_.Join("bar"));
  ASSERT_TRUE(area.CreateArea(dir_.Join("bar")));
  EXPECT_EQ(dir_.ReadFile("bar.sqd").size(), 256u);
}

}  // namespace
}  // namespace kavel
