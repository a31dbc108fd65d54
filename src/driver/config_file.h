// The program configuration file "Kavel.cfg" in the current directory. It
// has no sections: the common pass (posting, encoding and area-file
// settings) runs at every start, the decoding pass only for the decoding
// commands; each pass reads the whole file and offers every line to its own
// keywords.
#ifndef KAVEL_DRIVER_CONFIG_FILE_H_
#define KAVEL_DRIVER_CONFIG_FILE_H_

#include "context/run_context.h"

namespace kavel {

constexpr char kConfigFileName[] = "Kavel.cfg";

// Records in configFound whether the file can be opened for reading, and
// answers that.
bool LocateConfigFile(RunContext& context);
// The common pass. Nothing happens (the defaults stay) when the file was
// not found.
void LoadCommonSettings(RunContext& context);
// The decoding pass: every decoding setting back to its default, then the
// file's decoding keywords (comment and empty lines skipped). Nothing
// happens when the file was not found.
void LoadDecodingSettings(RunContext& context);

}  // namespace kavel

#endif  // KAVEL_DRIVER_CONFIG_FILE_H_
