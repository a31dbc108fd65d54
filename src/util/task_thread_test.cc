#include "util/task_thread.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <vector>

namespace kavel {
namespace {

// Tasks run one after another in the order handed over; each wait sees
// the tasks it waited for done, also once the thread has gone to sleep,
// and the destructor lets every task run.
TEST(TaskThreadTest, RunsTasksInOrderAndWaitsForEachInTurn) {
  constexpr int kTasks = 200;
  std::vector<int> order(kTasks + 1, -1);
  std::atomic<int> next{0};
  {
    TaskThread thread;
    EXPECT_EQ(thread.UnderWay(), 0);
    thread.WaitOldest();  // none under way: at once
    for (int i = 0; i < kTasks; ++i) {
      thread.Start([&order, &next, i] { order[next++] = i; });
    }
    EXPECT_EQ(thread.UnderWay(), kTasks);
    thread.WaitOldest();
    EXPECT_GE(next.load(), 1);
    EXPECT_EQ(order[0], 0);
    EXPECT_EQ(thread.UnderWay(), kTasks - 1);
    thread.WaitAll();
    EXPECT_EQ(thread.UnderWay(), 0);
    for (int i = 0; i < kTasks; ++i) ASSERT_EQ(order[i], i);
    std::this_thread::sleep_for(std::chrono::milliseconds(5));
    thread.Start([&order, &next] { order[next++] = kTasks; });
  }
  EXPECT_EQ(next.load(), kTasks + 1);
  EXPECT_EQ(order[kTasks], kTasks);
}

}  // namespace
}  // namespace kavel
