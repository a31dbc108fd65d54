// Test-only: runs the kavel_lock_holder peer, another process that holds
// the write lock on byte 0 of a base file until it is told to let go.
// Included by *_test.cc files only (KAVEL_LOCK_HOLDER names the program).
#ifndef KAVEL_MSGBASE_LOCK_HOLDER_FOR_TESTING_H_
#define KAVEL_MSGBASE_LOCK_HOLDER_FOR_TESTING_H_

#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <thread>

namespace kavel::testing_support {

class LockHolder {
 public:
  // `work_dir` receives the peer's ready and release marker files.
  explicit LockHolder(std::string work_dir)
      : ready_(work_dir + "/lock-holder.ready"),
        release_(work_dir + "/lock-holder.release") {}
  ~LockHolder() { Release(); }
  LockHolder(const LockHolder&) = delete;
  LockHolder& operator=(const LockHolder&) = delete;

  // Starts the peer on `file` (a native path); true once it holds the lock.
  bool Hold(const std::string& file) {
    std::filesystem::remove(ready_);
    std::filesystem::remove(release_);
    std::string command = std::string("'") + KAVEL_LOCK_HOLDER + "' '" + file +
                          "' '" + ready_ + "' '" + release_ + "' &";
    if (std::system(command.c_str()) != 0) return false;
    for (int i = 0; i < 2000; ++i) {
      if (std::filesystem::exists(ready_)) return true;
      std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    return false;
  }

  // Tells the peer to release the lock and waits until it has.
  void Release() {
    if (!std::filesystem::exists(ready_)) return;
    std::filesystem::remove(ready_);
    std::ofstream(release_).put('\n');
    for (int i = 0; i < 1000 && std::filesystem::exists(release_); ++i) {
      std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
  }

 private:
  std::string ready_;
  std::string release_;
};

}  // namespace kavel::testing_support

#endif  // KAVEL_MSGBASE_LOCK_HOLDER_FOR_TESTING_H_
