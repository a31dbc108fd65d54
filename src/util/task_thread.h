// A second thread that runs one task at a time for its owner: the owner
// hands a task over and goes on with its own work, then waits for it.
#ifndef KAVEL_UTIL_TASK_THREAD_H_
#define KAVEL_UTIL_TASK_THREAD_H_

#include <atomic>
#include <condition_variable>
#include <functional>
#include <mutex>
#include <thread>

namespace kavel {

// One owner thread calls Start and Wait; the task runs on the second
// thread, which is made by the first Start. Whatever a task touches is
// its own from Start until Wait returns: the owner keeps away from it
// meanwhile.
//
// Tasks that take tens of microseconds, one after another, are the use:
// each side looks for the other for a moment before it sleeps, since
// waking a sleeping thread costs about as much as such a task.
class TaskThread {
 public:
  TaskThread() = default;
  TaskThread(const TaskThread&) = delete;
  TaskThread& operator=(const TaskThread&) = delete;
  // Waits for a task under way, then ends the thread.
  ~TaskThread();

  // Runs `task` on the second thread. Precondition: !Busy().
  void Start(std::function<void()> task);
  // Returns once the task started last has run (at once when none is
  // under way).
  void Wait();
  // A task was started and not waited for.
  bool Busy() const { return busy_; }

 private:
  void Run();
  // Spins until `flag` is set or a moment passed; its value then.
  static bool SpinFor(const std::atomic<bool>& flag);

  std::thread thread_;
  bool busy_ = false;  // the owner's view
  std::mutex mutex_;
  std::condition_variable wake_;
  // Set under mutex_, read without it while spinning:
  std::atomic<bool> has_task_{false};  // task_ holds a task not yet taken
  std::atomic<bool> done_{false};      // the task taken last has run
  std::function<void()> task_;         // under mutex_
  bool quit_ = false;                  // under mutex_
};

}  // namespace kavel

#endif  // KAVEL_UTIL_TASK_THREAD_H_
