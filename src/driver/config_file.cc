#include "driver/config_file.h"

#include <algorithm>
#include <cstdint>
#include <memory>
#include <string>

#include "decoding/decoding_settings.h"
#include "platform/platform.h"
#include "posting/posting_settings.h"
#include "util/text.h"

namespace kavel {
namespace {

std::unique_ptr<TextReader> OpenConfigFile() {
  int error = 0;
  return OpenTextReader(kConfigFileName, &error);
}

// LOCKWAIT <seconds>: a whole number of seconds, at most
// kMaxLockWaitSeconds (larger values count as that). Any other value is an
// error line and puts the default back.
void ReadLockWait(RunContext& context, std::string_view line) {
  if (!LineHasKeyword("LOCKWAIT", line)) return;
  std::string value = ExtractValue(line);
  while (!value.empty() && value.back() == ' ') value.pop_back();
  if (value.empty() ||
      value.find_first_not_of("0123456789") != std::string::npos) {
    LogError(context, "LOCKWAIT " + value +
                          " is not a number of seconds; the default of " +
                          IntToText(kDefaultLockWaitSeconds) + " holds");
    context.lockWaitSeconds = kDefaultLockWaitSeconds;
    return;
  }
  int64_t seconds = 0;
  for (char digit : value) {
    seconds =
        std::min<int64_t>(seconds * 10 + (digit - '0'), kMaxLockWaitSeconds);
  }
  context.lockWaitSeconds = static_cast<int32_t>(seconds);
}

}  // namespace

bool LocateConfigFile(RunContext& context) {
  context.configFound = OpenConfigFile() != nullptr;
  return context.configFound;
}

void LoadCommonSettings(RunContext& context) {
  if (!context.configFound) return;
  std::unique_ptr<TextReader> reader = OpenConfigFile();
  if (!reader) return;
  LogInfo(context, "Loading common part of config file...");
  std::string raw;
  while (reader->ReadLine(&raw)) {
    const std::string line = ShortString(raw);
    ReadPostingKeyword(context, line);
    ReadFlagSetting("ERRORLEVEL", &context.errorLevel, line);
    ReadLockWait(context, line);
  }
}

void LoadDecodingSettings(RunContext& context) {
  if (!context.configFound) return;
  std::unique_ptr<TextReader> reader = OpenConfigFile();
  if (!reader) return;
  LogInfo(context, "Loading decoding part of config file...");
  context.decoding = DecodingSettings();
  std::string raw;
  while (reader->ReadLine(&raw)) {
    std::string line = ShortString(raw);
    if (line.empty() || !IsSignificantLine(line)) continue;
    ReadDecodingKeyword(context, line);
  }
  context.decoding.markersPresent = !context.decoding.forwardMarkers.empty();
}

}  // namespace kavel
