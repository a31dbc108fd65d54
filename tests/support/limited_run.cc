#include "support/limited_run.h"

#include <grp.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>

namespace kavel::e2e {

RunResult RunLimited(const RunDirectory& dir,
                     const std::vector<std::string>& arguments,
                     const Limits& limits) {
  int out[2];
  if (pipe(out) != 0) return RunResult();
  std::fflush(nullptr);
  pid_t pid = fork();
  if (pid == 0) {
    close(out[0]);
    dup2(out[1], 1);
    dup2(out[1], 2);
    close(out[1]);
    if (chdir(dir.path().c_str()) != 0) _exit(126);
    setenv("KAVEL_FAKE_CLOCK", "2001-03-07 21:05:09", 1);
    if (limits.fileSize != RLIM_INFINITY) {
      signal(SIGXFSZ, SIG_IGN);
      rlimit r{limits.fileSize, limits.fileSize};
      setrlimit(RLIMIT_FSIZE, &r);
    }
    if (limits.asNobody && geteuid() == 0) {
      if (setgroups(0, nullptr) != 0 || setgid(kNobody) != 0 ||
          setuid(kNobody) != 0) {
        _exit(125);
      }
    }
    std::vector<char*> argv;
    std::string program =
        limits.program.empty() ? KAVEL_BINARY : limits.program;
    argv.push_back(program.data());
    std::vector<std::string> copies = arguments;
    for (std::string& a : copies) argv.push_back(a.data());
    argv.push_back(nullptr);
    execv(program.c_str(), argv.data());
    _exit(127);
  }
  close(out[1]);
  RunResult result;
  char buffer[4096];
  ssize_t n;
  while ((n = read(out[0], buffer, sizeof buffer)) > 0) {
    result.out.append(buffer, static_cast<size_t>(n));
  }
  close(out[0]);
  int status = 0;
  waitpid(pid, &status, 0);
  result.exit_code = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
  return result;
}

bool CopyProgramForNobody(const RunDirectory& dir, std::string* program) {
  *program = dir.Join("kavel");
  std::error_code ec;
  if (!std::filesystem::copy_file(KAVEL_BINARY, *program, ec)) return false;
  return geteuid() != 0 || chown(program->c_str(), kNobody, kNobody) == 0;
}

bool GiveToNobody(const RunDirectory& dir, const std::string& except) {
  if (geteuid() != 0) return true;
  namespace fs = std::filesystem;
  for (const auto& e : fs::recursive_directory_iterator(dir.path())) {
    if (e.path().string().rfind(except, 0) == 0) continue;
    if (chown(e.path().c_str(), kNobody, kNobody) != 0) return false;
  }
  return chown(dir.path().c_str(), kNobody, kNobody) == 0;
}

}  // namespace kavel::e2e
