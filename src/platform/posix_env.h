// The Env of a Linux node. Its methods are defined beside the code they
// stand for: files.cc, file_search.cc, paths.cc, clock.cc, console.cc and
// process.cc. Program path text is mapped to native paths by NativePath
// (platform.h), whose directory listings this Env caches.
//
// Two environment variables are read here and nowhere else, for tests that
// run the program (never set on a node):
//  * KAVEL_FAKE_CLOCK="YYYY-MM-DD HH:MM:SS": the clock starts there and
//    advances by 10 ms on every reading.
//  * KAVEL_LOCK_WAIT_MS=N: the base lock wait, in milliseconds, whatever
//    the configuration says.
#ifndef KAVEL_PLATFORM_POSIX_ENV_H_
#define KAVEL_PLATFORM_POSIX_ENV_H_

#include "platform/env.h"

namespace kavel {

class PosixEnv : public Env {
 public:
  std::unique_ptr<PlatformFile> OpenFile(std::string_view path, FileMode mode,
                                         int* error) override;
  std::unique_ptr<PlatformFile> OpenUnnamedFile(std::string_view dir) override;
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
  void ForgetPathCache() override;
  ClockReading ReadClock() override;
  void SleepMicroseconds(int us) override;
  void ConsoleWrite(std::string_view text) override;
  void ConsoleWriteLine(std::string_view text) override;
  void ConsoleWriteLines(const std::vector<std::string>& lines) override;
  bool ConsoleIsTerminal() override;
  bool ConsoleIsUtf8() override;
  bool ConsoleKeyPressed() override;
  bool ConsoleGetCursor(int* row, int* column) override;
  void ConsoleSetCursor(int row, int column) override;
  void InstallStopHandlers() override;
  bool StopRequested() override;
  void RequestStop() override;
  void ClearStopRequest() override;
  std::string GetEnvironmentVariable(std::string_view name) override;
  int32_t LockWaitMs(int32_t configured_ms) override;
};

}  // namespace kavel

#endif  // KAVEL_PLATFORM_POSIX_ENV_H_
