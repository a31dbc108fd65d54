#include "context/log.h"

#include "util/text.h"

namespace kavel {
namespace {

std::string TwoDigits(int value) { return PadWithZeros(IntToText(value), 2); }

void WriteLine(LogFile& log, bool error, std::string_view message) {
  // One clock reading per line, so that a line written at midnight carries
  // the date and the time of the same moment.
  std::string line = FormatLogLine(ReadClock(), error, message);
  if (!log.logBroken && log.file != nullptr) {
    log.file->WriteLine(line);
    if (!log.batching) log.file->Flush();
  }
  if (log.batching) {
    log.consoleLines.push_back(std::move(line));
  } else {
    ConsoleWriteLine(line);
  }
}

}  // namespace

std::string FormatLogLine(const ClockReading& now, bool error,
                          std::string_view message) {
  std::string year = PadWithZeros(IntToText(now.year), 4);
  std::string line(1, ' ');
  line.append(TwoDigits(now.day)).push_back('.');
  line.append(TwoDigits(now.month)).push_back('.');
  line.append(year, 2, 2).push_back(' ');
  line.append(TwoDigits(now.hour)).push_back(':');
  line.append(TwoDigits(now.minute)).push_back(':');
  line.append(TwoDigits(now.second)).push_back(' ');
  if (error) line.append("[err] ");
  line.append(message);
  return ShortString(line);
}

void OpenLog(LogFile& log, std::string_view name, std::string_view prefix) {
  // Opened for appending, created exclusively when missing and never
  // emptied: another run writing the same log at the same time keeps every
  // line, as each line goes to the end of the file in one write.
  bool created = false;
  log.file = OpenTextAppender(name, &created, nullptr);
  log.logBroken = log.file == nullptr;
  if (created) ConsoleWriteLine("Made new log file");
  if (log.logBroken) {
    ConsoleWriteLine("I can't make log file!!!..");
    return;
  }
  std::string start(prefix);
  start.append(": started..");
  LogInfo(log, start);
}

void LogInfo(LogFile& log, std::string_view message) {
  WriteLine(log, false, message);
}

void LogError(LogFile& log, std::string_view message) {
  NoteFailure(log, RunFailure::kFailed);
  WriteLine(log, true, message);
}

void LogFailure(LogFile& log, std::string_view message, RunFailure failure) {
  NoteFailure(log, failure);
  WriteLine(log, false, message);
}

void NoteFailure(LogFile& log, RunFailure failure) {
  if (failure > log.worst) log.worst = failure;
}

void BeginLogBatch(LogFile& log) { log.batching = true; }

void EndLogBatch(LogFile& log) {
  log.batching = false;
  if (!log.logBroken && log.file != nullptr) log.file->Flush();
  ConsoleWriteLines(log.consoleLines);
  log.consoleLines.clear();
}

void CloseLog(LogFile& log) {
  if (log.logBroken) return;
  LogInfo(log, "End..");
  if (log.file != nullptr) {
    log.file->WriteLine("");
    log.file->Close();
    log.file.reset();
  }
  ConsoleWriteLine("");
}

}  // namespace kavel
