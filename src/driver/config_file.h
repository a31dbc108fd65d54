// The program configuration file "Kavel.cfg" in the current directory.
#ifndef KAVEL_DRIVER_CONFIG_FILE_H_
#define KAVEL_DRIVER_CONFIG_FILE_H_

#include "driver/run_context.h"

namespace kavel {

// Finds the configuration file; true when it can be read.
bool LocateConfigFile(RunContext& context);
// Reads the part of the file that every run needs.
void LoadCommonSettings(RunContext& context);
// Reads the decoding part (the decoding commands only).
void LoadDecodingSettings(RunContext& context);

}  // namespace kavel

#endif  // KAVEL_DRIVER_CONFIG_FILE_H_
