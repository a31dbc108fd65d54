// MemEnv: a whole Env in memory, for unit tests and fuzzers (a file never
// grows past 64 MB: writes beyond answer no space). Nothing it
// does reaches the operating system.
//
// Paths: program path text as the POSIX Env takes it ("\" or "/", an
// optional "X:" prefix, which is ignored: every drive is the one tree).
// Relative paths start at the root. Names are looked up ignoring case
// (UpperText folding); an entry keeps the spelling it was made with, and two
// names that differ only in case are one entry. A new entry needs its
// parent directory; the root exists from the start.
//
// Locks: LockRange fails at once (kErrorAccess) when another open file of
// the same entry holds an overlapping range, as another process would;
// the locks of a file go when it is closed.
// Clock: stands still at the time SetClock gave (2000-01-01 00:00:00 until
// then); sleeping does nothing. Console: terminal answers as set; what is
// written is kept. One thread at a time.
#ifndef KAVEL_PLATFORM_MEM_ENV_H_
#define KAVEL_PLATFORM_MEM_ENV_H_

#include <map>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "platform/env.h"

namespace kavel {

class MemEnv : public Env {
 public:
  MemEnv();
  ~MemEnv() override;

  // Test conveniences: the whole content of a file (false when it is not
  // a file), and a file made or replaced with `bytes` (its directory must
  // exist).
  bool GetFileContents(std::string_view path, std::string* bytes);
  bool SetFileContents(std::string_view path, std::string_view bytes);

  // Removes every entry but the root.
  void Clear();

  void SetClock(const ClockReading& reading) { clock_ = reading; }
  void SetTerminal(bool terminal, bool utf8) {
    terminal_ = terminal;
    utf8_ = utf8;
  }
  void SetEnvironmentVariable(std::string_view name, std::string_view value) {
    variables_[std::string(name)] = std::string(value);
  }
  // Everything written to the console; ConsoleWriteLine ends lines by "\n".
  const std::string& console_output() const { return console_; }

  std::unique_ptr<PlatformFile> OpenFile(std::string_view path, FileMode mode,
                                         int* error) override;
  std::unique_ptr<TextReader> OpenTextReader(std::string_view path,
                                             int* error) override;
  std::unique_ptr<TextWriter> OpenTextWriter(std::string_view path, bool append,
                                             int* error) override;
  std::unique_ptr<TextWriter> OpenTextAppender(std::string_view path,
                                               bool* created,
                                               int* error) override;
  std::unique_ptr<FileSearch> NewFileSearch() override;
  bool CreateDirectory(std::string_view path) override;
  bool DeleteFile(std::string_view path) override;
  bool RenameFile(std::string_view from, std::string_view to) override;
  bool RenameFileNoReplace(std::string_view from, std::string_view to,
                           int* error) override;
  bool PathExists(std::string_view path) override;
  bool IsDirectory(std::string_view path) override;
  bool FileSize(std::string_view path, uint64_t* size) override;
  bool ExamineFile(std::string_view path, FileFacts* facts) override;
  ClockReading ReadClock() override { return clock_; }
  void SleepMicroseconds(int) override {}
  void ConsoleWrite(std::string_view text) override;
  void ConsoleWriteLine(std::string_view text) override;
  bool ConsoleIsTerminal() override { return terminal_; }
  bool ConsoleIsUtf8() override { return terminal_ && utf8_; }
  bool ConsoleKeyPressed() override { return false; }
  bool ConsoleGetCursor(int* row, int* column) override;
  void ConsoleSetCursor(int, int) override {}
  void InstallStopHandlers() override {}
  bool StopRequested() override { return stop_; }
  void RequestStop() override { stop_ = true; }
  void ClearStopRequest() override { stop_ = false; }
  std::string GetEnvironmentVariable(std::string_view name) override;

  struct Node;

 private:
  // Entries by their folded full path ("/DIR/NAME"; the root is "/").
  std::map<std::string, std::shared_ptr<Node>> nodes_;
  ClockReading clock_;
  bool terminal_ = false, utf8_ = false, stop_ = false;
  std::string console_;
  std::map<std::string, std::string> variables_;

  friend class MemFileSearch;
  // Normalises `path` into components; false when it climbs above the root.
  static bool Split(std::string_view path, std::vector<std::string>* parts);
  std::shared_ptr<Node> Find(std::string_view path);
  // Makes the node `path` names, or finds it when it is of that kind; null
  // with *error set when its parent is missing or it is of the other kind.
  std::shared_ptr<Node> Make(std::string_view path, bool directory, int* error);
  bool Move(std::string_view from, std::string_view to, bool replace,
            int* error);
  uint32_t PackedNow() const;
};

}  // namespace kavel

#endif  // KAVEL_PLATFORM_MEM_ENV_H_
