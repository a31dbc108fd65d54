// The commands of the command line, entered by the run driver once the
// command word is recognised. `rest` is the command line after the command
// word (RestOfLine).
#ifndef KAVEL_DRIVER_COMMANDS_H_
#define KAVEL_DRIVER_COMMANDS_H_

#include <string_view>

#include "driver/run_context.h"

namespace kavel {

// /ENCODE <File> <Area>: posts the files of a mask into an area.
void RunEncodeCommand(RunContext& context, std::string_view rest);
// /DECODE <Area>: decodes one area. The decoding settings are loaded.
void RunDecodeCommand(RunContext& context, std::string_view rest);
// /ALL: decodes every area of the tosser's area file. The decoding settings
// are loaded.
void RunAllCommand(RunContext& context);

}  // namespace kavel

#endif  // KAVEL_DRIVER_COMMANDS_H_
