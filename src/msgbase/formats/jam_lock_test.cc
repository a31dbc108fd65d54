// JAM beside other writers: the byte-0 lock of the header file, the base
// header read afresh under it, and what happens when the lock is not had.
#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <string>
#include <thread>

#include "msgbase/base_lock.h"
#include "msgbase/byte_stream.h"
#include "msgbase/formats/jam_area.h"
#include "msgbase/lock_holder_for_testing.h"
#include "platform/temp_dir_for_testing.h"

namespace kavel {
namespace {

using testing_support::LockHolder;

class JamLockTest : public ::testing::Test {
 protected:
  void SetUp() override {
    InstallStreamFactories();
    base_ = dir_.Join("echo");
  }
  void TearDown() override { SetBaseLockWaitMsForTesting(-1); }

  static void Start(MessageArea* area, const std::string& line) {
    ASSERT_TRUE(area->AddMessage());
    area->SetToName("All");
    area->SetSubject(line);
    ASSERT_TRUE(area->WriteLine(line));
  }
  static std::string FirstLine(MessageArea* area, int32_t number) {
    area->current = number;
    if (!area->LoadMessage()) return "<load failed>";
    std::string line;
    area->SetTextPos(0);
    area->ReadLine(&line);
    area->ReleaseMessage();
    return line;
  }
  std::string Files() const {
    return dir_.ReadFile("echo.jhr") + "|" + dir_.ReadFile("echo.jdx") + "|" +
           dir_.ReadFile("echo.jdt") + "|" + dir_.ReadFile("echo.jlr");
  }

  TempDirForTesting dir_;
  std::string base_;
};

TEST_F(JamLockTest, TwoOpenAreasKeepEachOthersMessages) {
  {
    JamArea creator(base_);
    ASSERT_TRUE(creator.CreateArea(base_));
  }
  JamArea a(base_), b(base_);
  ASSERT_TRUE(a.OpenArea(base_));
  ASSERT_TRUE(b.OpenArea(base_));
  Start(&a, "from a");
  Start(&b, "from b");
  ASSERT_TRUE(a.StoreMessage());
  ASSERT_TRUE(b.StoreMessage());
  EXPECT_EQ(a.current, 1);
  EXPECT_EQ(b.current, 2);
  a.ReleaseMessage();
  b.ReleaseMessage();
  Start(&a, "again from a");
  ASSERT_TRUE(a.StoreMessage());
  EXPECT_EQ(a.current, 3);
  a.ReleaseMessage();
  b.CloseArea();
  a.CloseArea();

  JamArea reader(base_);
  ASSERT_TRUE(reader.OpenArea(base_));
  EXPECT_EQ(reader.MessageCount(), 3);
  EXPECT_EQ(reader.base_header().modCounter, 3u);
  EXPECT_EQ(FirstLine(&reader, 1), "from a");
  EXPECT_EQ(FirstLine(&reader, 2), "from b");
  EXPECT_EQ(FirstLine(&reader, 3), "again from a");
}

TEST_F(JamLockTest, StoreWaitsForAnotherWriterAndThenSucceeds) {
  JamArea area(base_);
  ASSERT_TRUE(area.CreateArea(base_));
  LockHolder holder(dir_.path());
  ASSERT_TRUE(holder.Hold(dir_.Join("echo.jhr")));
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
  ASSERT_TRUE(area.OpenArea(base_));
  EXPECT_EQ(area.MessageCount(), 1);
  EXPECT_EQ(FirstLine(&area, 1), "waited");
}

TEST_F(JamLockTest, WritesFailCleanlyWhileTheLockIsHeld) {
  {
    JamArea creator(base_);
    ASSERT_TRUE(creator.CreateArea(base_));
    Start(&creator, "kept");
    ASSERT_TRUE(creator.StoreMessage());
  }
  const std::string before = Files();
  SetBaseLockWaitMsForTesting(100);
  LockHolder holder(dir_.path());
  ASSERT_TRUE(holder.Hold(dir_.Join("echo.jhr")));

  JamArea area(base_);
  ASSERT_TRUE(area.OpenArea(base_));  // reading takes no lock
  EXPECT_EQ(FirstLine(&area, 1), "kept");
  Start(&area, "refused");
  EXPECT_FALSE(area.StoreMessage());
  EXPECT_EQ(area.status, kJamErrorLocked);
  area.ReleaseMessage();
  area.current = 1;
  ASSERT_TRUE(area.LoadMessage());
  EXPECT_FALSE(area.DeleteMessage());
  EXPECT_EQ(area.status, kJamErrorLocked);
  EXPECT_FALSE(area.StoreLastRead(1, 1));
  area.CloseArea();
  EXPECT_EQ(Files(), before);

  JamArea creator(base_);
  EXPECT_FALSE(creator.CreateArea(base_));
  EXPECT_EQ(creator.status, kJamErrorLocked);
  EXPECT_EQ(Files(), before);

  holder.Release();
  ASSERT_TRUE(area.OpenArea(base_));
  Start(&area, "accepted");
  EXPECT_TRUE(area.StoreMessage());
  EXPECT_EQ(area.current, 2);
}

TEST_F(JamLockTest, CreatingAnExistingBaseKeepsIt) {
  {
    JamArea first(base_);
    ASSERT_TRUE(first.CreateArea(base_));
    Start(&first, "made by the first writer");
    ASSERT_TRUE(first.StoreMessage());
  }
  JamArea second(base_);
  ASSERT_TRUE(second.CreateArea(base_));
  EXPECT_EQ(second.MessageCount(), 1);
  Start(&second, "added by the second");
  ASSERT_TRUE(second.StoreMessage());
  EXPECT_EQ(second.current, 2);
  EXPECT_EQ(FirstLine(&second, 1), "made by the first writer");
}

}  // namespace
}  // namespace kavel
