#include "driver/commands.h"

#include "decoding/decode_area.h"
#include "posting/file_driver.h"

namespace kavel {

void RunEncodeCommand(RunContext& context, std::string_view rest) {
  PostFileMask(context, rest);
}

void RunDecodeCommand(RunContext& context, std::string_view rest) {
  DecodeArea(context, rest);
}

void RunAllCommand(RunContext& context) { DecodeAllAreas(context); }

}  // namespace kavel
