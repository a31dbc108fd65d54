#include "driver/run.h"

#include "context/run_context.h"
#include "decoding/decode_area.h"
#include "decoding/decoding_run.h"
#include "driver/config_file.h"
#include "msgbase/base_lock.h"
#include "msgbase/date_time.h"
#include "platform/platform.h"
#include "posting/file_driver.h"
#include "posting/posting_settings.h"
#include "util/text.h"

namespace kavel {

std::string JoinCommandLine(const std::vector<std::string_view>& arguments) {
  std::string line;
  for (std::string_view argument : arguments) {
    if (line.size() >= kShortStringMax) break;
    line += ' ';
    line += argument;
  }
  return ShortString(line);
}

void PrintUsage() {
  ConsoleWriteLine("Usage:");
  ConsoleWriteLine(
      " /Encode <File> <Area> - post <file> (may be the mask) in area <Area>");
  ConsoleWriteLine(" /Decode <Area>        - decode files from <Area>");
  ConsoleWriteLine(" /All                  - decode all files from all areas");
}

void PrintExitCodes() {
  ConsoleWriteLine(
      "Exit codes (with ERRORLEVEL Yes in Kavel.cfg; always 0 without):");
  ConsoleWriteLine(" 0 - no failure");
  ConsoleWriteLine(
      " 1 - an [err] line, \"Unable to open message base\" or "
      "\"Area ... not found...\"");
  ConsoleWriteLine(
      " 2 - no areas file named in Kavel.cfg, or it cannot be opened");
}

void PrintVersion() { ConsoleWriteLine("kavel " KAVEL_VERSION); }

int RunKavel(const std::vector<std::string_view>& arguments) {
  // Answered before the run context exists: no log, no configuration.
  if (!arguments.empty() && arguments[0] == "--version") {
    PrintVersion();
    return 0;
  }
  if (!arguments.empty() && arguments[0] == "--help") {
    PrintUsage();
    PrintExitCodes();
    return 0;
  }
  RunContext context;
  CreatePostingJob(context);
  OpenLog(context.log, "Kavel.log", "Kavel");
  LocateConfigFile(context);
  LoadCommonSettings(context);
  SetBaseLockWaitMs(LockWaitSeconds(context) * 1000);
  if (context.msgIdSequence.empty()) context.msgIdSequence = "kavel.seq";
  UseMsgIdSequence(context.msgIdSequence);

  std::string line = JoinCommandLine(arguments);
  if (line.empty()) {
    CloseLog(context.log);
    PrintUsage();
    return 0;
  }
  std::string command = UpperText(FirstWord(line));
  std::string rest = RestOfLine(line);
  if (command == "/ENCODE") {
    PostFileMask(context, rest);
  } else if (command == "/DECODE") {
    LoadDecodingSettings(context);
    DecodingRun run(context);
    if (run.Start()) DecodeArea(context, rest);
  } else if (command == "/ALL") {
    LoadDecodingSettings(context);
    DecodingRun run(context);
    if (run.Start()) DecodeAllAreas(context);
  } else if (context.errorLevel) {
    LogError(context, "Unknown command " + command);
  }
  UseMsgIdSequence("");
  CloseLog(context.log);
  return context.errorLevel ? static_cast<int>(context.log.worst) : 0;
}

}  // namespace kavel
