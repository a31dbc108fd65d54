#include "util/task_thread.h"

#include <chrono>
#include <utility>

namespace kavel {

TaskThread::~TaskThread() {
  if (!thread_.joinable()) return;
  WaitAll();
  {
    std::lock_guard<std::mutex> lock(mutex_);
    quit_ = true;
  }
  wake_.notify_all();
  thread_.join();
}

template <typename Ready>
bool TaskThread::SpinFor(Ready ready) {
  // About what one task takes: longer spins only keep a processor from
  // others (the kernel's writeback) when the other side is slow.
  constexpr auto kSpin = std::chrono::microseconds(50);
  const auto until = std::chrono::steady_clock::now() + kSpin;
  for (int i = 0;; ++i) {
    if (ready()) return true;
    if (i % 64 == 63 && std::chrono::steady_clock::now() >= until) {
      return false;
    }
#if defined(__x86_64__) || defined(__i386__)
    __builtin_ia32_pause();
#endif
  }
}

void TaskThread::Start(std::function<void()> task) {
  {
    std::lock_guard<std::mutex> lock(mutex_);
    tasks_.push_back(std::move(task));
    queued_.store(started_ + 1, std::memory_order_release);
  }
  ++started_;
  if (!thread_.joinable()) {
    thread_ = std::thread([this] { Run(); });
  } else if (worker_sleeps_.load()) {
    wake_.notify_all();
  }
}

void TaskThread::WaitOldest() {
  if (waited_ == started_) return;
  const uint64_t target = waited_ + 1;
  auto done = [this, target] { return finished_.load() >= target; };
  if (!SpinFor(done)) {
    // The worker looks at owner_sleeps_ after it counts a task finished:
    // either it sees the flag and wakes this side, or this side sees the
    // count before it sleeps.
    std::unique_lock<std::mutex> lock(mutex_);
    owner_sleeps_.store(true);
    wake_.wait(lock, done);
    owner_sleeps_.store(false);
  }
  waited_ = target;
}

void TaskThread::WaitAll() {
  while (waited_ != started_) WaitOldest();
}

void TaskThread::Run() {
  uint64_t taken = 0;
  for (;;) {
    std::function<void()> task;
    {
      auto queued = [this, &taken] {
        return queued_.load(std::memory_order_acquire) > taken;
      };
      const bool ready = SpinFor(queued);
      std::unique_lock<std::mutex> lock(mutex_);
      if (!ready) {
        worker_sleeps_.store(true);
        wake_.wait(lock, [this, &queued] { return quit_ || queued(); });
        worker_sleeps_.store(false);
      }
      if (!queued()) return;
      task = std::move(tasks_.front());
      tasks_.pop_front();
      ++taken;
    }
    task();
    finished_.store(taken);
    if (owner_sleeps_.load()) {
      // Taking the lock waits until the owner sleeps or has not yet
      // looked at the count.
      { std::lock_guard<std::mutex> lock(mutex_); }
      wake_.notify_all();
    }
  }
}

}  // namespace kavel
