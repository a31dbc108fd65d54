#include "driver/run.h"

#include "driver/commands.h"
#include "driver/config_file.h"
#include "driver/run_context.h"
#include "msgbase/date_time.h"
#include "platform/platform.h"
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

void PrintVersion() { ConsoleWriteLine("kavel " KAVEL_VERSION); }

int RunKavel(const std::vector<std::string_view>& arguments) {
  // Answered before the run context exists: no log, no configuration.
  if (!arguments.empty() && arguments[0] == "--version") {
    PrintVersion();
    return 0;
  }
  if (!arguments.empty() && arguments[0] == "--help") {
    PrintUsage();
    return 0;
  }
  RunContext context;
  CreatePostingJob(context);
  OpenLog(context.log, "Kavel.log", "Kavel");
  LocateConfigFile(context);
  LoadCommonSettings(context);
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
    RunEncodeCommand(context, rest);
  } else if (command == "/DECODE") {
    LoadDecodingSettings(context);
    RunDecodeCommand(context, rest);
  } else if (command == "/ALL") {
    LoadDecodingSettings(context);
    RunAllCommand(context);
  }
  CloseLog(context.log);
  return 0;
}

}  // namespace kavel
