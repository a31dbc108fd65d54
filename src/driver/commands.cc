#include "driver/commands.h"

#include "posting/file_driver.h"

namespace kavel {

void RunEncodeCommand(RunContext& context, std::string_view rest) {
  PostFileMask(context, rest);
}

void RunDecodeCommand(RunContext&, std::string_view) {}

void RunAllCommand(RunContext&) {}

}  // namespace kavel
