// Squish beside other writers: the byte-0 lock of the data file, the base
// header read afresh under it, and what happens when the lock is not had.
#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <string>
#include <thread>

#include "msgbase/base_lock.h"
#include "msgbase/byte_stream.h"
#include "msgbase/formats/squish_area.h"
#include "msgbase/formats/squish_checker_for_testing.h"
#include "msgbase/lock_holder_for_testing.h"
#include "platform/temp_dir_for_testing.h"

namespace kavel {
namespace {

using testing_support::LockHolder;

class SquishLockTest : public ::testing::Test {
 protected:
  void SetUp() override {
    InstallStreamFactories();
    base_ = dir_.Join("foo");
  }
  void TearDown() override { SetBaseLockWaitMsForTesting(-1); }

  std::string Check() const {
    return CheckSquishBase(dir_.Join("foo.sqd"), dir_.Join("foo.sqi"));
  }
  static void Start(MessageArea* area, const std::string& line) {
    ASSERT_TRUE(area->AddMessage());
    area->SetToName("All");
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

  TempDirForTesting dir_;
  std::string base_;
};

TEST_F(SquishLockTest, TwoOpenAreasKeepEachOthersMessages) {
  {
    SquishArea creator(base_);
    ASSERT_TRUE(creator.CreateArea(base_));
  }
  // Both read the base header while it was empty; each store must work
  // from the header as the other one left it.
  SquishArea a(base_), b(base_);
  ASSERT_TRUE(a.OpenArea(base_));
  ASSERT_TRUE(b.OpenArea(base_));
  Start(&a, "from a");
  Start(&b, "from b");
  ASSERT_TRUE(a.StoreMessage());
  ASSERT_TRUE(b.StoreMessage());
  EXPECT_EQ(a.CurrentNumber(), 1);
  EXPECT_EQ(b.current, 2);
  b.ReleaseMessage();
  Start(&a, "again from a");
  ASSERT_TRUE(a.StoreMessage());
  EXPECT_EQ(a.current, 3);
  a.ReleaseMessage();
  // Closing writes nothing: b's stale view does not undo a's third message.
  b.CloseArea();
  a.CloseArea();
  EXPECT_EQ(Check(), "");

  SquishArea reader(base_);
  ASSERT_TRUE(reader.OpenArea(base_));
  ASSERT_EQ(reader.MessageCount(), 3);
  EXPECT_EQ(reader.base_header().nextUid, 4u);
  EXPECT_EQ(FirstLine(&reader, 1), "from a");
  EXPECT_EQ(FirstLine(&reader, 2), "from b");
  EXPECT_EQ(FirstLine(&reader, 3), "again from a");
  for (int32_t position = 1; position <= 3; ++position) {
    reader.current = position;
    EXPECT_EQ(reader.CurrentNumber(), position);
  }
}

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

TEST_F(SquishLockTest, StoreWaitsForAnotherWriterAndThenSucceeds) {
  SquishArea area(base_);
  ASSERT_TRUE(area.CreateArea(base_));
  LockHolder holder(dir_.path());
  ASSERT_TRUE(holder.Hold(dir_.Join("foo.sqd")));
  Start(&area, "waited");
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
  EXPECT_EQ(Check(), "");
  ASSERT_TRUE(area.OpenArea(base_));
  EXPECT_EQ(area.MessageCount(), 1);
  EXPECT_EQ(FirstLine(&area, 1), "waited");
}

TEST_F(SquishLockTest, WritesFailCleanlyWhileTheLockIsHeld) {
  {
    SquishArea creator(base_);
    ASSERT_TRUE(creator.CreateArea(base_));
    Start(&creator, "kept");
    ASSERT_TRUE(creator.StoreMessage());
  }
  const std::string data = dir_.ReadFile("foo.sqd");
  const std::string index = dir_.ReadFile("foo.sqi");
  SetBaseLockWaitMsForTesting(100);
  LockHolder holder(dir_.path());
  ASSERT_TRUE(holder.Hold(dir_.Join("foo.sqd")));

  SquishArea area(base_);
  ASSERT_TRUE(area.OpenArea(base_));  // reading takes no lock
  EXPECT_EQ(FirstLine(&area, 1), "kept");
  Start(&area, "refused");
  EXPECT_FALSE(area.StoreMessage());
  EXPECT_EQ(area.status, kSquishErrorLocked);
  area.ReleaseMessage();
  area.current = 1;
  EXPECT_FALSE(area.DeleteMessage());
  EXPECT_EQ(area.status, kSquishErrorLocked);
  area.CloseArea();
  EXPECT_EQ(dir_.ReadFile("foo.sqd"), data);
  EXPECT_EQ(dir_.ReadFile("foo.sqi"), index);

  // Creating over the locked base neither empties it nor waits forever.
  SquishArea creator(base_);
  EXPECT_FALSE(creator.CreateArea(base_));
  EXPECT_EQ(creator.status, kSquishErrorLocked);
  EXPECT_EQ(dir_.ReadFile("foo.sqd"), data);

  holder.Release();
  ASSERT_TRUE(area.OpenArea(base_));
  Start(&area, "accepted");
  EXPECT_TRUE(area.StoreMessage());
  area.CloseArea();
  EXPECT_EQ(Check(), "");
}

TEST_F(SquishLockTest, CreatingAnExistingBaseKeepsIt) {
  {
    SquishArea first(base_);
    ASSERT_TRUE(first.CreateArea(base_));
    Start(&first, "made by the first writer");
    ASSERT_TRUE(first.StoreMessage());
  }
  // A second writer that found no base a moment earlier creates it too.
  SquishArea second(base_);
  ASSERT_TRUE(second.CreateArea(base_));
  EXPECT_EQ(second.MessageCount(), 1);
  Start(&second, "added by the second");
  ASSERT_TRUE(second.StoreMessage());
  second.CloseArea();
  EXPECT_EQ(Check(), "");
  // A data file without a base header is laid down afresh.
  dir_.WriteFile("bar.sqd", "");
  SquishArea third(dir_.Join("bar"));
  ASSERT_TRUE(third.CreateArea(dir_.Join("bar")));
  EXPECT_EQ(dir_.ReadFile("bar.sqd").size(), 256u);
}

}  // namespace
}  // namespace kavel
