#include "support/traced_run.h"

#include <fcntl.h>
#include <signal.h>
#include <stdlib.h>
#include <sys/ptrace.h>
#include <sys/syscall.h>
#include <sys/user.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <climits>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <map>

#include "support/e2e.h"

namespace kavel::e2e {
namespace {

#if defined(__x86_64__)

std::string LinkOf(pid_t pid, const std::string& what) {
  char target[PATH_MAX];
  std::string link = "/proc/" + std::to_string(pid) + "/" + what;
  ssize_t n = readlink(link.c_str(), target, sizeof target - 1);
  if (n < 0) return "";
  return std::string(target, static_cast<size_t>(n));
}

std::string FdPath(pid_t pid, long fd) {
  return LinkOf(pid, "fd/" + std::to_string(fd));
}

// A zero-terminated string of the traced program's memory.
std::string StringAt(pid_t pid, unsigned long long address) {
  std::ifstream mem("/proc/" + std::to_string(pid) + "/mem", std::ios::binary);
  mem.seekg(static_cast<std::streamoff>(address));
  std::string text;
  std::getline(mem, text, '\0');
  return text;
}

// The absolute form of a path argument relative to a directory descriptor.
std::string PathArgument(pid_t pid, long dirfd, unsigned long long address) {
  std::string path = StringAt(pid, address);
  if (!path.empty() && path[0] == '/') return path;
  std::string base = static_cast<int>(dirfd) == AT_FDCWD
                         ? LinkOf(pid, "cwd")
                         : FdPath(pid, dirfd);
  return base + "/" + path;
}

bool Below(const std::string& path, const std::string& watched) {
  std::string prefix = watched;
  if (prefix.empty() || prefix.back() != '/') prefix += '/';
  return path.compare(0, prefix.size(), prefix) == 0 || path == watched;
}

// The name of a call (entered) that changes a file, nullptr for others;
// *path_at tells where its path is: 'f' the file of the descriptor in the
// first argument, 'p' the path in the first, 'a' the path in the second
// relative to the directory descriptor in the first.
const char* ChangingCall(long nr, char* path_at) {
  *path_at = 'f';
  switch (nr) {
    case SYS_write: return "write";
    case SYS_pwrite64: return "pwrite64";
    case SYS_writev: return "writev";
    case SYS_pwritev: return "pwritev";
    case SYS_pwritev2: return "pwritev2";
    case SYS_ftruncate: return "ftruncate";
    case SYS_fallocate: return "fallocate";
  }
  *path_at = 'p';
  switch (nr) {
    case SYS_unlink: return "unlink";
    case SYS_rmdir: return "rmdir";
    case SYS_mkdir: return "mkdir";
    case SYS_rename: return "rename";
    case SYS_link: return "link";
  }
  *path_at = 'a';
  switch (nr) {
    case SYS_unlinkat: return "unlinkat";
    case SYS_mkdirat: return "mkdirat";
    case SYS_linkat: return "linkat";
    case SYS_renameat:
    case SYS_renameat2: return "renameat";
    default: return nullptr;
  }
}

#endif

}  // namespace

TracedResult RunTraced(
    [[maybe_unused]] const std::string& working_dir,
    [[maybe_unused]] const std::vector<std::string>& arguments,
    [[maybe_unused]] const std::string& watched,
    [[maybe_unused]] const std::function<TraceAction(const TracePoint&)>&
        at_point) {
  TracedResult result;
#if defined(__x86_64__)
  FILE* out_file = tmpfile();
  if (out_file == nullptr) return result;
  std::fflush(nullptr);
  pid_t pid = fork();
  if (pid < 0) {
    fclose(out_file);
    return result;
  }
  if (pid == 0) {
    int null_in = open("/dev/null", O_RDONLY);
    dup2(null_in, STDIN_FILENO);
    dup2(fileno(out_file), STDOUT_FILENO);
    dup2(fileno(out_file), STDERR_FILENO);
    if (chdir(working_dir.c_str()) != 0) _exit(126);
    setenv("KAVEL_FAKE_CLOCK", "2001-03-07 21:05:09", 1);
    // The leak checker traces the process itself at exit, which a traced
    // process cannot allow.
    std::string asan = getenv("ASAN_OPTIONS") ? getenv("ASAN_OPTIONS") : "";
    setenv("ASAN_OPTIONS", (asan + (asan.empty() ? "" : ":") +
                            "detect_leaks=0").c_str(), 1);
    if (ptrace(PTRACE_TRACEME, 0, nullptr, nullptr) != 0) _exit(124);
    raise(SIGSTOP);
    ExecKavel(arguments);
  }
  int status = 0;
  waitpid(pid, &status, 0);
  if (WIFSTOPPED(status)) {
    result.traced = true;
    ptrace(PTRACE_SETOPTIONS, pid, nullptr,
           PTRACE_O_TRACESYSGOOD | PTRACE_O_EXITKILL | PTRACE_O_TRACEEXEC |
               PTRACE_O_TRACECLONE);
    // Every thread of the program is traced; a call's entry and return
    // are told apart per thread.
    struct ThreadState {
      bool in_call = false;
      long entry_nr = -1;
      unsigned long long entry_flags = 0;
    };
    std::map<pid_t, ThreadState> threads;
    bool reaped = false;
    pid_t tid = pid;
    int deliver = 0;
    for (;;) {
      if (tid != 0 &&
          ptrace(PTRACE_SYSCALL, tid, nullptr,
                 reinterpret_cast<void*>(static_cast<long>(deliver))) != 0 &&
          tid == pid) {
        break;
      }
      deliver = 0;
      tid = waitpid(-1, &status, __WALL);
      if (tid < 0) {
        if (errno == EINTR) {
          tid = 0;
          continue;
        }
        break;
      }
      if (WIFEXITED(status) || WIFSIGNALED(status)) {
        if (tid == pid) {
          if (WIFEXITED(status)) result.exit_code = WEXITSTATUS(status);
          reaped = true;
          break;
        }
        threads.erase(tid);
        tid = 0;  // nothing to resume
        continue;
      }
      if (!WIFSTOPPED(status)) continue;
      const bool new_thread = threads.count(tid) == 0;
      ThreadState& thread = threads[tid];
      int sig = WSTOPSIG(status);
      if (sig != (SIGTRAP | 0x80)) {
        // An event stop (exec, clone), the stop a new thread starts with,
        // or a signal meant for the program.
        if (status >> 16 == 0 && sig != SIGTRAP &&
            !(new_thread && sig == SIGSTOP)) {
          deliver = sig;
        }
        continue;
      }
      user_regs_struct regs;
      if (ptrace(PTRACE_GETREGS, tid, nullptr, &regs) != 0) break;
      thread.in_call = !thread.in_call;
      TracePoint point;
      if (thread.in_call) {
        thread.entry_nr = static_cast<long>(regs.orig_rax);
        const long nr = thread.entry_nr;
        if (nr == SYS_openat) thread.entry_flags = regs.rdx;
        if (nr == SYS_open) thread.entry_flags = regs.rsi;
        if (nr == SYS_creat) thread.entry_flags = O_CREAT | O_TRUNC;
        char path_at = 0;
        if (const char* name = ChangingCall(nr, &path_at)) {
          const long first = static_cast<long>(regs.rdi);
          point.call = name;
          point.path = path_at == 'f'   ? FdPath(tid, first)
                       : path_at == 'p' ? PathArgument(tid, AT_FDCWD, regs.rdi)
                                        : PathArgument(tid, first, regs.rsi);
        }
      } else if ((thread.entry_nr == SYS_openat ||
                  thread.entry_nr == SYS_open ||
                  thread.entry_nr == SYS_creat) &&
                 static_cast<long long>(regs.rax) >= 0 &&
                 (thread.entry_flags & (O_CREAT | O_TRUNC)) != 0) {
        point.call = thread.entry_nr == SYS_creat ? "creat" : "openat";
        point.path = FdPath(tid, static_cast<long>(regs.rax));
      }
      if (point.call.empty() || !Below(point.path, watched)) continue;
      point.index = ++result.points;
      if (at_point(point) == TraceAction::kKill) {
        result.killed = true;
        break;
      }
    }
    if (!reaped) {
      kill(pid, SIGKILL);
      for (;;) {
        const pid_t gone = waitpid(-1, &status, __WALL);
        if (gone < 0 && errno == EINTR) continue;
        if (gone < 0 ||
            (gone == pid && (WIFSIGNALED(status) || WIFEXITED(status)))) {
          break;
        }
      }
    }
  } else {
    result.exit_code = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
  }
  result.out = ReadAndClose(out_file);
#endif
  return result;
}

}  // namespace kavel::e2e
