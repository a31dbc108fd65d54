#include "driver/config_file.h"

namespace kavel {

bool LocateConfigFile(RunContext&) { return false; }

void LoadCommonSettings(RunContext&) {}

void LoadDecodingSettings(RunContext&) {}

}  // namespace kavel
