// Kavel.cfg: found once at start, its common part read at every start and
// its decoding part for the decoding commands.
#ifndef KAVEL_DRIVER_CONFIG_FILE_H_
#define KAVEL_DRIVER_CONFIG_FILE_H_

#include <string>

namespace kavel {

struct RunContext;

struct ConfigFileState {
  std::string path;    // "Kavel.cfg" in the current directory
  bool found = false;  // the file could be opened at start
};

// Binds "Kavel.cfg" and records whether it can be opened for reading.
void LocateConfigFile(RunContext& ctx);
// The common pass: posting, encoding and area-file settings. Nothing
// happens (defaults stay) when the file was not found.
void LoadCommonSettings(RunContext& ctx);
// The decoding pass: every decoding setting back to its default, then the
// file's decoding keywords. Nothing happens when the file was not found.
void LoadDecodingSettings(RunContext& ctx);

}  // namespace kavel

#endif  // KAVEL_DRIVER_CONFIG_FILE_H_
