// A second thread that runs tasks for its owner, one after another in the
// order they were handed over: the owner hands tasks over and goes on with
// its own work, then waits for them.
#ifndef KAVEL_UTIL_TASK_THREAD_H_
#define KAVEL_UTIL_TASK_THREAD_H_

#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <deque>
#include <functional>
#include <mutex>
#include <thread>

namespace kavel {

// One owner thread calls Start and the waits; the tasks run on the second
// thread, which is made by the first Start. Whatever a task touches is its
// own from Start until a wait has seen it run: the owner keeps away from
// it meanwhile.
//
// Tasks that take tens of microseconds, one after another, are the use:
// each side looks for the other for a moment before it sleeps, since
// waking a sleeping thread costs about as much as such a task.
class TaskThread {
 public:
  TaskThread() = default;
  TaskThread(const TaskThread&) = delete;
  TaskThread& operator=(const TaskThread&) = delete;
  // Waits for every task handed over, then ends the thread.
  ~TaskThread();

  // Runs `task` on the second thread after those handed over before it.
  void Start(std::function<void()> task);
  // Returns once the oldest task not yet waited for has run (at once when
  // none is under way).
  void WaitOldest();
  // Returns once every task handed over has run.
  void WaitAll();
  // Tasks handed over and not yet waited for.
  int UnderWay() const { return static_cast<int>(started_ - waited_); }

 private:
  void Run();
  // Spins until `ready` answers true or a moment passed; its answer then.
  template <typename Ready>
  static bool SpinFor(Ready ready);

  std::thread thread_;
  uint64_t started_ = 0;  // the owner's counts
  uint64_t waited_ = 0;
  std::mutex mutex_;
  std::condition_variable wake_;
  // Set under mutex_, read without it while spinning:
  std::atomic<uint64_t> queued_{0};    // tasks put into tasks_
  std::atomic<uint64_t> finished_{0};  // tasks that have run (set without)
  // A side sleeps on wake_ (or is about to): the other wakes it.
  std::atomic<bool> owner_sleeps_{false};
  std::atomic<bool> worker_sleeps_{false};
  std::deque<std::function<void()>> tasks_;  // under mutex_
  bool quit_ = false;                        // under mutex_
};

}  // namespace kavel

#endif  // KAVEL_UTIL_TASK_THREAD_H_
