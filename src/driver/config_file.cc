#include "driver/config_file.h"

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
