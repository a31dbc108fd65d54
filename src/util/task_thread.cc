#include "util/task_thread.h"

#include <chrono>
#include <utility>

namespace kavel {

TaskThread::~TaskThread() {
  if (!thread_.joinable()) return;
  Wait();
  {
    std::lock_guard<std::mutex> lock(mutex_);
    quit_ = true;
  }
  wake_.notify_all();
  thread_.join();
}

bool TaskThread::SpinFor(const std::atomic<bool>& flag) {
  constexpr auto kSpin = std::chrono::microseconds(200);
  const auto until = std::chrono::steady_clock::now() + kSpin;
  for (int i = 0;; ++i) {
    if (flag.load(std::memory_order_acquire)) return true;
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
    task_ = std::move(task);
    done_.store(false, std::memory_order_relaxed);
    has_task_.store(true, std::memory_order_release);
  }
  busy_ = true;
  if (!thread_.joinable()) {
    thread_ = std::thread([this] { Run(); });
  } else {
    wake_.notify_all();
  }
}

void TaskThread::Wait() {
  if (!busy_) return;
  if (!SpinFor(done_)) {
    std::unique_lock<std::mutex> lock(mutex_);
    wake_.wait(lock, [this] { return done_.load(); });
  }
  busy_ = false;
}

void TaskThread::Run() {
  for (;;) {
    std::function<void()> task;
    {
      SpinFor(has_task_);
      std::unique_lock<std::mutex> lock(mutex_);
      wake_.wait(lock, [this] { return quit_ || has_task_.load(); });
      if (!has_task_.load()) return;
      task = std::move(task_);
      task_ = nullptr;
      has_task_.store(false, std::memory_order_relaxed);
    }
    task();
    {
      std::lock_guard<std::mutex> lock(mutex_);
      done_.store(true, std::memory_order_release);
    }
    wake_.notify_all();
  }
}

}  // namespace kavel
