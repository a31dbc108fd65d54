#include "driver/commands.h"

#include "decoding/decode_area.h"

namespace kavel {

void RunEncodeCommand(RunContext&, std::string_view) {}

void RunDecodeCommand(RunContext& context, std::string_view rest) {
  DecodeArea(context, rest);
}

void RunAllCommand(RunContext& context) { DecodeAllAreas(context); }

}  // namespace kavel
