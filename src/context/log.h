// The run's log: dated information and error lines written to the log file
// (CR LF line ends, appended run after run) and to standard output alike.
//
// Line layout: " DD.MM.YY HH:MM:SS message", error lines with "[err] "
// before the message; the whole line is cut at 255 characters. Each run adds
// one block: "<prefix>: started..", the run's lines, "End.." and an empty
// line.
#ifndef KAVEL_CONTEXT_LOG_H_
#define KAVEL_CONTEXT_LOG_H_

#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "platform/platform.h"

namespace kavel {

// The worst failure a run has reported, in rising order; with ERRORLEVEL
// it is the run's exit code.
enum class RunFailure {
  kNone = 0,
  // An error line, or an information line that reports a failure.
  kFailed = 1,
  // No areas file is named, or the named one cannot be opened.
  kNoAreasFile = 2,
};

struct LogFile {
  // True when the log file could be neither created nor opened for
  // appending; lines then go to the console only, and CloseLog writes
  // nothing.
  bool logBroken = false;
  // The open log file; null before OpenLog, after CloseLog and when broken.
  std::unique_ptr<TextWriter> file;
  // Raised by LogError, LogFailure and NoteFailure; never lowered.
  RunFailure worst = RunFailure::kNone;
  // Between BeginLogBatch and EndLogBatch: the console's lines waiting.
  bool batching = false;
  std::vector<std::string> consoleLines;
};

// Opens (or creates, announcing "Made new log file" on the console) the log
// file `name` in the current directory and writes "<prefix>: started..".
// A file that can be neither created nor appended to makes the log broken:
// "I can't make log file!!!.." on the console and no start line.
void OpenLog(LogFile& log, std::string_view name, std::string_view prefix);
void LogInfo(LogFile& log, std::string_view message);
void LogError(LogFile& log, std::string_view message);
// An information line (no "[err] " tag, so its text stays as scripts match
// it) that reports a failure of class `failure`.
void LogFailure(LogFile& log, std::string_view message,
                RunFailure failure = RunFailure::kFailed);
// Raises the run's worst failure to `failure` without writing a line.
void NoteFailure(LogFile& log, RunFailure failure);
// Lines logged between the two go to the file and to the console at
// EndLogBatch, in one write each (the file's still whole lines).
void BeginLogBatch(LogFile& log);
void EndLogBatch(LogFile& log);
// Writes "End.." and an empty line (file and console) and closes the file;
// does nothing at all when the log is broken.
void CloseLog(LogFile& log);

// The dated line for `message` at clock reading `now` (exposed for tests).
std::string FormatLogLine(const ClockReading& now, bool error,
                          std::string_view message);

}  // namespace kavel

#endif  // KAVEL_CONTEXT_LOG_H_
