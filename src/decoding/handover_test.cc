#include "decoding/handover.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <memory>
#include <string>
#include <thread>
#include <vector>

namespace kavel {
namespace {

// A line as Recorded keeps it: its kind's letter, a blank, the message.
std::string Line(char kind, std::string_view message) {
  std::string line(1, kind);
  line.push_back(' ');
  line.append(message);
  return line;
}

// Keeps the lines, and the most lines one batch held.
class Recorded : public DecodeLog {
 public:
  void Info(std::string_view m) override { Add(Line('I', m)); }
  void Error(std::string_view m) override { Add(Line('E', m)); }
  void Failure(std::string_view m) override { Add(Line('F', m)); }
  void BeginBatch() override { in_batch = 0; }
  std::vector<std::string> lines;
  size_t most_in_batch = 0;

 private:
  void Add(std::string line) {
    lines.push_back(std::move(line));
    most_in_batch = std::max(most_in_batch, ++in_batch);
  }
  size_t in_batch = 0;
};

// The message of line i of the test.
std::string Message(int i) {
  std::string n = std::to_string(i);
  if (i % 97 == 0) return std::string("error ").append(n);
  if (i % 89 == 0) return "";
  return std::string(" [ :) ] -> Saving file 'txt\\area\\file")
      .append(n)
      .append(".txt'");
}

// Lines held on one thread come out whole, in their order and kind, on
// another, across batches and while more are held.
TEST(HeldLogTest, LinesComeOutInOrderAcrossBatches) {
  HeldLog held;
  std::vector<std::string> expected;
  std::thread holder([&held] {
    for (int i = 0; i < 1000; ++i) {
      if (i % 97 == 0) {
        held.Error(Message(i));
      } else if (i % 89 == 0) {
        held.Failure(Message(i));
      } else {
        held.Info(Message(i));
      }
    }
    held.Finish();
  });
  for (int i = 0; i < 1000; ++i) {
    expected.push_back(Line(i % 97 == 0   ? 'E'
                            : i % 89 == 0 ? 'F'
                                          : 'I',
                            Message(i)));
  }
  Recorded log;
  int batches = 0;
  while (held.WriteHeld(&log)) ++batches;
  holder.join();
  EXPECT_EQ(log.lines, expected);
  EXPECT_EQ(log.most_in_batch, HeldLog::kBatch);
  EXPECT_GE(batches, 1);
  EXPECT_FALSE(held.WriteHeld(&log));
}

// Take waits for a set or for the end, and gives every set put once, in
// order, also those put before the end.
TEST(SetQueueTest, TakeWaitsForSetsAndTheEnd) {
  SetQueue queue;
  std::vector<std::string> taken;
  std::thread taker([&] {
    FileSet set;
    while (queue.Take(&set)) taken.push_back(set.fileName);
  });
  // The taker meets an empty queue first.
  std::this_thread::sleep_for(std::chrono::milliseconds(20));
  for (int i = 0; i < 300; ++i) {
    FileSet set;
    set.fileName = std::to_string(i);
    queue.Put(std::move(set));
    if (i % 50 == 0) std::this_thread::yield();
  }
  queue.Close();
  taker.join();
  ASSERT_EQ(taken.size(), 300u);
  for (int i = 0; i < 300; ++i) EXPECT_EQ(taken[i], std::to_string(i));
}

// A putter that is ahead waits until the taker has worked through half of
// what the sets hold; the sections' buffers come back with their room.
TEST(SetQueueTest, HeldBytesPaceThePutterAndBuffersComeBack) {
  constexpr size_t kMost = 100 * 1024;
  SetQueue queue;
  auto set_of = [](size_t bytes) {
    FileSet set;
    set.held = std::make_unique<HeldSections>();
    std::string text;
    text.reserve(bytes);
    set.held->bytes = text.capacity();
    set.held->texts.emplace_back(1, std::move(text));
    return set;
  };
  for (int i = 0; i < 12; ++i) queue.Put(set_of(10 * 1024));
  std::atomic<size_t> done_bytes{0};
  std::thread taker([&] {
    FileSet set;
    while (queue.Take(&set)) {
      done_bytes += set.held->bytes;
      queue.Done(&set);
    }
  });
  queue.WaitForRoom(kMost);
  // Woken at no more than half: at least 12 - 5 sets were done.
  EXPECT_GE(done_bytes.load(), 7u * 10 * 1024);
  queue.Close();
  taker.join();
  std::string spare;
  ASSERT_TRUE(queue.TakeSpare(&spare));
  EXPECT_TRUE(spare.empty());
  EXPECT_GE(spare.capacity(), 10u * 1024);
  queue.WaitForRoom(0);  // nothing held: no wait
}

}  // namespace
}  // namespace kavel
