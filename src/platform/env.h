// Env: every service of the operating system that Kavel uses, behind one
// interface. The free functions of platform.h forward to the current Env,
// so the whole program (message bases, text files, console, clock, stop
// requests) runs against whichever Env is installed: the POSIX one on a
// node, an in-memory or fault-injecting one in unit tests and fuzzers.
//
// Contracts of the individual services are those stated for the free
// functions of the same names in platform.h.
#ifndef KAVEL_PLATFORM_ENV_H_
#define KAVEL_PLATFORM_ENV_H_

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "platform/platform.h"

namespace kavel {

class Env {
 public:
  Env() = default;
  Env(const Env&) = delete;
  Env& operator=(const Env&) = delete;
  virtual ~Env();

  // The POSIX Env of this process (never destroyed).
  static Env* Default();

  // Files. Every `error` may be null.
  virtual std::unique_ptr<PlatformFile> OpenFile(std::string_view path,
                                                 FileMode mode, int* error) = 0;
  virtual std::unique_ptr<TextReader> OpenTextReader(std::string_view path,
                                                     int* error) = 0;
  virtual std::unique_ptr<TextWriter> OpenTextWriter(std::string_view path,
                                                     bool append,
                                                     int* error) = 0;
  virtual std::unique_ptr<TextWriter> OpenTextAppender(std::string_view path,
                                                       bool* created,
                                                       int* error) = 0;
  // Default: none (see OpenUnnamedFile in platform.h).
  virtual std::unique_ptr<PlatformFile> OpenUnnamedFile(std::string_view dir) {
    (void)dir;
    return nullptr;
  }

  // The file system.
  virtual std::unique_ptr<FileSearch> NewFileSearch() = 0;
  virtual bool CreateDirectory(std::string_view path) = 0;
  virtual bool DeleteFile(std::string_view path) = 0;
  virtual bool RenameFile(std::string_view from, std::string_view to) = 0;
  virtual bool RenameFileNoReplace(std::string_view from, std::string_view to,
                                   int* error) = 0;
  virtual bool PathExists(std::string_view path) = 0;
  virtual bool IsDirectory(std::string_view path) = 0;
  virtual bool FileSize(std::string_view path, uint64_t* size) = 0;
  virtual bool ExamineFile(std::string_view path, FileFacts* facts) = 0;
  // Drops whatever this Env remembers about directory contents, for
  // callers that changed directories behind its back. Default: nothing.
  virtual void ForgetPathCache() {}

  // The clock.
  virtual ClockReading ReadClock() = 0;
  virtual void SleepMicroseconds(int us) = 0;

  // The console.
  virtual void ConsoleWrite(std::string_view text) = 0;
  virtual void ConsoleWriteLine(std::string_view text) = 0;
  // Default: ConsoleWriteLine for each.
  virtual void ConsoleWriteLines(const std::vector<std::string>& lines) {
    for (const std::string& line : lines) ConsoleWriteLine(line);
  }
  virtual bool ConsoleIsTerminal() = 0;
  virtual bool ConsoleIsUtf8() = 0;
  virtual bool ConsoleKeyPressed() = 0;
  virtual bool ConsoleGetCursor(int* row, int* column) = 0;
  virtual void ConsoleSetCursor(int row, int column) = 0;

  // Stop requests (SIGINT/SIGTERM on POSIX).
  virtual void InstallStopHandlers() = 0;
  virtual bool StopRequested() = 0;
  virtual void RequestStop() = 0;
  virtual void ClearStopRequest() = 0;

  virtual std::string GetEnvironmentVariable(std::string_view name) = 0;

  // How long a message-base writer waits for the base lock, given the
  // configured wait; both in milliseconds. Default: the configured wait.
  virtual int32_t LockWaitMs(int32_t configured_ms) { return configured_ms; }
};

// The Env every free function of platform.h uses: Env::Default() unless a
// ScopedEnv installed another.
Env* CurrentEnv();

// Installs `env` as the current Env for the lifetime of this object and
// restores the previous one after. Scopes nest; `env` must outlive it.
class ScopedEnv {
 public:
  explicit ScopedEnv(Env* env);
  ~ScopedEnv();
  ScopedEnv(const ScopedEnv&) = delete;
  ScopedEnv& operator=(const ScopedEnv&) = delete;

 private:
  Env* previous_;
};

// Forwards every call to a target Env; subclasses override what they
// change. The target must outlive the wrapper.
class EnvWrapper : public Env {
 public:
  explicit EnvWrapper(Env* target) : target_(target) {}
  Env* target() const { return target_; }

  std::unique_ptr<PlatformFile> OpenFile(std::string_view path, FileMode mode,
                                         int* error) override {
    return target_->OpenFile(path, mode, error);
  }
  std::unique_ptr<TextReader> OpenTextReader(std::string_view path,
                                             int* error) override {
    return target_->OpenTextReader(path, error);
  }
  std::unique_ptr<TextWriter> OpenTextWriter(std::string_view path, bool append,
                                             int* error) override {
    return target_->OpenTextWriter(path, append, error);
  }
  std::unique_ptr<TextWriter> OpenTextAppender(std::string_view path,
                                               bool* created,
                                               int* error) override {
    return target_->OpenTextAppender(path, created, error);
  }
  // OpenUnnamedFile is not forwarded: a wrapper sees the files its callers
  // write by their names.
  std::unique_ptr<FileSearch> NewFileSearch() override {
    return target_->NewFileSearch();
  }
  bool CreateDirectory(std::string_view path) override {
    return target_->CreateDirectory(path);
  }
  bool DeleteFile(std::string_view path) override {
    return target_->DeleteFile(path);
  }
  bool RenameFile(std::string_view from, std::string_view to) override {
    return target_->RenameFile(from, to);
  }
  bool RenameFileNoReplace(std::string_view from, std::string_view to,
                           int* error) override {
    return target_->RenameFileNoReplace(from, to, error);
  }
  bool PathExists(std::string_view path) override {
    return target_->PathExists(path);
  }
  bool IsDirectory(std::string_view path) override {
    return target_->IsDirectory(path);
  }
  bool FileSize(std::string_view path, uint64_t* size) override {
    return target_->FileSize(path, size);
  }
  bool ExamineFile(std::string_view path, FileFacts* facts) override {
    return target_->ExamineFile(path, facts);
  }
  void ForgetPathCache() override { target_->ForgetPathCache(); }
  ClockReading ReadClock() override { return target_->ReadClock(); }
  void SleepMicroseconds(int us) override { target_->SleepMicroseconds(us); }
  void ConsoleWrite(std::string_view text) override {
    target_->ConsoleWrite(text);
  }
  void ConsoleWriteLine(std::string_view text) override {
    target_->ConsoleWriteLine(text);
  }
  void ConsoleWriteLines(const std::vector<std::string>& lines) override {
    target_->ConsoleWriteLines(lines);
  }
  bool ConsoleIsTerminal() override { return target_->ConsoleIsTerminal(); }
  bool ConsoleIsUtf8() override { return target_->ConsoleIsUtf8(); }
  bool ConsoleKeyPressed() override { return target_->ConsoleKeyPressed(); }
  bool ConsoleGetCursor(int* row, int* column) override {
    return target_->ConsoleGetCursor(row, column);
  }
  void ConsoleSetCursor(int row, int column) override {
    target_->ConsoleSetCursor(row, column);
  }
  void InstallStopHandlers() override { target_->InstallStopHandlers(); }
  bool StopRequested() override { return target_->StopRequested(); }
  void RequestStop() override { target_->RequestStop(); }
  void ClearStopRequest() override { target_->ClearStopRequest(); }
  std::string GetEnvironmentVariable(std::string_view name) override {
    return target_->GetEnvironmentVariable(name);
  }
  int32_t LockWaitMs(int32_t configured_ms) override {
    return target_->LockWaitMs(configured_ms);
  }

 private:
  Env* target_;
};

// An EnvWrapper whose clock is the function set last (the target's clock
// until then), for tests that fix the time.
class FakeClockEnv : public EnvWrapper {
 public:
  explicit FakeClockEnv(Env* target) : EnvWrapper(target) {}
  void set_clock(std::function<ClockReading()> clock) {
    clock_ = std::move(clock);
  }
  ClockReading ReadClock() override {
    return clock_ ? clock_() : target()->ReadClock();
  }

 private:
  std::function<ClockReading()> clock_;
};

}  // namespace kavel

#endif  // KAVEL_PLATFORM_ENV_H_
