#include "driver/commands.h"

#include "decoding/decode_area.h"
#include "decoding/decoding_run.h"
#include "posting/file_driver.h"

namespace kavel {

void RunEncodeCommand(RunContext& context, std::string_view rest) {
  PostFileMask(context, rest);
}

void RunDecodeCommand(RunContext& context, std::string_view rest) {
  DecodingRun run(context);
  if (run.Start()) DecodeArea(context, rest);
}

void RunAllCommand(RunContext& context) {
  DecodingRun run(context);
  if (run.Start()) DecodeAllAreas(context);
}

}  // namespace kavel
