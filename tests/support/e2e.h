// End-to-end test support: runs the real kavel binary in a fresh temporary
// directory (its current directory) and gives access to what it wrote.
#ifndef KAVEL_TESTS_SUPPORT_E2E_H_
#define KAVEL_TESTS_SUPPORT_E2E_H_

#include <sys/types.h>

#include <cstdio>
#include <map>
#include <string>
#include <string_view>
#include <vector>

namespace kavel::e2e {

struct RunResult {
  int exit_code = -1;  // -1 when the program did not exit normally
  std::string out;     // everything written to standard output
  std::string err;     // everything written to standard error
};

class RunDirectory {
 public:
  // Creates a fresh directory under the system temp directory.
  RunDirectory();
  // Removes the directory and everything below it.
  ~RunDirectory();
  RunDirectory(const RunDirectory&) = delete;
  RunDirectory& operator=(const RunDirectory&) = delete;

  const std::string& path() const { return path_; }
  std::string Join(std::string_view relative) const;

  // Files relative to the directory; parents are created on writing.
  void WriteFile(std::string_view relative, std::string_view bytes) const;
  std::string ReadFile(std::string_view relative) const;  // "" when missing
  // Writes Kavel.cfg: HPTPATH naming the file "areas" here, then `lines`,
  // each ended by CR LF.
  void WriteConfig(const std::vector<std::string>& lines) const;
  // Adds "EchoArea <tag> <path> -b <format>" to the file "areas" (path
  // default: bases/<tag> here) and makes bases/; answers the area id.
  std::string AddArea(const std::string& tag, const std::string& format,
                      std::string path = "");
  bool Exists(std::string_view relative) const;
  void MakeDirectory(std::string_view relative) const;
  // Names in a directory (relative; "" = the run directory), sorted.
  std::vector<std::string> List(std::string_view relative = "") const;
  // Every regular file below a directory (relative; "" = the run
  // directory), as paths relative to the run directory, sorted.
  std::vector<std::string> FilesBelow(std::string_view relative = "") const;

  // Environment for the next runs. KAVEL_FAKE_CLOCK is set to
  // "2001-03-07 21:05:09" unless overridden here.
  void SetEnv(const std::string& name, const std::string& value);

  // Runs KAVEL_BINARY with `arguments` in
  // `working_dir` (default: this directory), stdin from /dev/null, stdout
  // and stderr captured (through temporary files).
  RunResult Run(const std::vector<std::string>& arguments) const;
  RunResult RunIn(const std::string& working_dir,
                  const std::vector<std::string>& arguments) const;

 private:
  std::string path_;
  std::string areas_;  // the lines AddArea wrote
  std::map<std::string, std::string> env_;
};

// What the program prints after its log lines when it is run without a
// command it knows (and for --help).
extern const char kUsage[];

// In a child process: KAVEL_BINARY with `arguments` takes the place of the
// process (which exits with 127 when it cannot).
[[noreturn]] void ExecKavel(const std::vector<std::string>& arguments);

// The whole of a temporary file that a child wrote; the file is closed.
std::string ReadAndClose(FILE* file);

// Splits text into lines at "\n" (a final line end gives no empty line).
std::vector<std::string> Lines(std::string_view text);

}  // namespace kavel::e2e

#endif  // KAVEL_TESTS_SUPPORT_E2E_H_
