#include "driver/commands.h"

namespace kavel {

void RunEncodeCommand(RunContext&, std::string_view) {}

void RunDecodeCommand(RunContext&, std::string_view) {}

void RunAllCommand(RunContext&) {}

}  // namespace kavel
