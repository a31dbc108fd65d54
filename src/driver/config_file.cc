#include "driver/config_file.h"

#include <memory>

#include "decoding/decoding_settings.h"
#include "driver/log.h"
#include "driver/run_context.h"
#include "platform/platform.h"
#include "posting/posting_settings.h"
#include "util/text.h"

namespace kavel {

void LocateConfigFile(RunContext& ctx) {
  ctx.configFile.path = "Kavel.cfg";
  int error = 0;
  ctx.configFile.found = OpenTextReader(ctx.configFile.path, &error) != nullptr;
}

void LoadCommonSettings(RunContext& ctx) {
  if (!ctx.configFile.found) return;
  int error = 0;
  std::unique_ptr<TextReader> reader =
      OpenTextReader(ctx.configFile.path, &error);
  if (!reader) return;
  LogInfo(ctx, "Loading common part of config file...");
  std::string raw;
  while (reader->ReadLine(&raw)) ReadPostingKeyword(ctx, ShortString(raw));
}

void LoadDecodingSettings(RunContext& ctx) {
  if (!ctx.configFile.found) return;
  int error = 0;
  std::unique_ptr<TextReader> reader =
      OpenTextReader(ctx.configFile.path, &error);
  if (!reader) return;
  LogInfo(ctx, "Loading decoding part of config file...");
  ctx.decoding = DecodingSettings();
  std::string raw;
  while (reader->ReadLine(&raw)) {
    std::string line = ShortString(raw);
    if (line.empty() || !IsSignificantLine(line)) continue;
    ReadDecodingKeyword(ctx, line);
  }
  ctx.decoding.markersPresent = !ctx.decoding.forwardMarkers.empty();
}

}  // namespace kavel
