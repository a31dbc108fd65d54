// The current Env and the free functions of platform.h, which forward to it.
#include "platform/env.h"

#include <atomic>
#include <climits>

#include "platform/posix_env.h"

namespace kavel {
namespace {

std::atomic<Env*> current_env{nullptr};

}  // namespace

Env::~Env() = default;

Env* Env::Default() {
  static Env* env = new PosixEnv();
  return env;
}

Env* CurrentEnv() {
  Env* env = current_env.load(std::memory_order_acquire);
  return env != nullptr ? env : Env::Default();
}

ScopedEnv::ScopedEnv(Env* env)
    : previous_(current_env.exchange(env, std::memory_order_acq_rel)) {}

ScopedEnv::~ScopedEnv() {
  current_env.store(previous_, std::memory_order_release);
}

std::unique_ptr<PlatformFile> OpenPlatformFile(std::string_view path,
                                               FileMode mode, int* error) {
  return CurrentEnv()->OpenFile(path, mode, error);
}
std::unique_ptr<PlatformFile> OpenUnnamedFile(std::string_view dir) {
  return CurrentEnv()->OpenUnnamedFile(dir);
}
std::unique_ptr<TextReader> OpenTextReader(std::string_view path, int* error) {
  return CurrentEnv()->OpenTextReader(path, error);
}
std::unique_ptr<TextWriter> OpenTextWriter(std::string_view path, bool append,
                                           int* error) {
  return CurrentEnv()->OpenTextWriter(path, append, error);
}
std::unique_ptr<TextWriter> OpenTextAppender(std::string_view path,
                                             bool* created, int* error) {
  return CurrentEnv()->OpenTextAppender(path, created, error);
}
std::unique_ptr<FileSearch> NewFileSearch() {
  return CurrentEnv()->NewFileSearch();
}
bool CreateDirectory(std::string_view path) {
  return CurrentEnv()->CreateDirectory(path);
}
bool DeleteFile(std::string_view path) {
  return CurrentEnv()->DeleteFile(path);
}
bool RenameFile(std::string_view from, std::string_view to) {
  return CurrentEnv()->RenameFile(from, to);
}
bool RenameFileNoReplace(std::string_view from, std::string_view to,
                         int* error) {
  return CurrentEnv()->RenameFileNoReplace(from, to, error);
}
bool PathExists(std::string_view path) {
  return CurrentEnv()->PathExists(path);
}
bool IsDirectory(std::string_view path) {
  return CurrentEnv()->IsDirectory(path);
}
bool FileSize(std::string_view path, uint64_t* size) {
  return CurrentEnv()->FileSize(path, size);
}
bool ExamineFile(std::string_view path, FileFacts* facts) {
  return CurrentEnv()->ExamineFile(path, facts);
}
ClockReading ReadClock() { return CurrentEnv()->ReadClock(); }
void SleepMicroseconds(int us) {
  if (us > 0) CurrentEnv()->SleepMicroseconds(us);
}
void SleepMilliseconds(int ms) {
  if (ms > 0) SleepMicroseconds(ms > INT_MAX / 1000 ? INT_MAX : ms * 1000);
}
void ConsoleWriteLine(std::string_view text) {
  CurrentEnv()->ConsoleWriteLine(text);
}
void ConsoleWriteLines(const std::vector<std::string>& lines) {
  CurrentEnv()->ConsoleWriteLines(lines);
}
void ConsoleWrite(std::string_view text) { CurrentEnv()->ConsoleWrite(text); }
bool ConsoleIsTerminal() { return CurrentEnv()->ConsoleIsTerminal(); }
bool ConsoleIsUtf8() { return CurrentEnv()->ConsoleIsUtf8(); }
bool ConsoleKeyPressed() { return CurrentEnv()->ConsoleKeyPressed(); }
bool ConsoleGetCursor(int* row, int* column) {
  return CurrentEnv()->ConsoleGetCursor(row, column);
}
void ConsoleSetCursor(int row, int column) {
  CurrentEnv()->ConsoleSetCursor(row, column);
}
void InstallStopHandlers() { CurrentEnv()->InstallStopHandlers(); }
bool StopRequested() { return CurrentEnv()->StopRequested(); }
std::string GetEnvironmentVariable(std::string_view name) {
  return CurrentEnv()->GetEnvironmentVariable(name);
}

}  // namespace kavel
