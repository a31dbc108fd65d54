// End-to-end test support: runs the real kavel binary under ptrace and
// stops at every system call that changes a file or directory below a
// watched directory, so that a test can kill the program (SIGKILL) or
// change its surroundings at an exact, repeatable point of its work.
//
// Points, in the order the program reaches them:
//   - the entry of write, pwrite64, writev, pwritev(2), ftruncate and
//     fallocate on a descriptor whose file is below the directory (the
//     call has not happened yet);
//   - the return of open, openat and creat that created or truncated a
//     file below the directory (the file is there);
//   - the entry of unlink, rename, link, mkdir and rmdir (and their *at
//     forms) whose first path is below the directory.
#ifndef KAVEL_TESTS_SUPPORT_TRACED_RUN_H_
#define KAVEL_TESTS_SUPPORT_TRACED_RUN_H_

#include <functional>
#include <string>
#include <vector>

namespace kavel::e2e {

enum class TraceAction { kContinue, kKill };

struct TracePoint {
  int index = 0;     // 1 for the first point of the run
  std::string call;  // "write", "openat", ...
  std::string path;  // the file the call changes (absolute)
};

struct TracedResult {
  bool traced = false;  // false: tracing is not available here (ptrace not
                        // permitted, or not x86-64)
  bool killed = false;  // the program was killed at a point
  int exit_code = -1;   // when it exited by itself
  int points = 0;       // points reached (the killed one included)
  std::string out;      // standard output and error, interleaved
};

// Runs KAVEL_BINARY with `arguments` in `working_dir` (KAVEL_FAKE_CLOCK
// set as in RunDirectory, stdin from /dev/null) and calls `at_point` at
// every point below `watched` (an absolute directory path).
TracedResult RunTraced(
    const std::string& working_dir, const std::vector<std::string>& arguments,
    const std::string& watched,
    const std::function<TraceAction(const TracePoint&)>& at_point);

}  // namespace kavel::e2e

#endif  // KAVEL_TESTS_SUPPORT_TRACED_RUN_H_
