// The one program-wide object of a run: created before anything else, alive
// until the run ends, handed to everything that logs or reads a setting.
// A plain record; its parts are owned here and released with it.
#ifndef KAVEL_DRIVER_RUN_CONTEXT_H_
#define KAVEL_DRIVER_RUN_CONTEXT_H_

#include <string_view>

#include "driver/log.h"

namespace kavel {

struct RunContext {
  // The log: opened first, closed last.
  LogFile log;

  // --- Encoding settings, posting state and the PostingJob record.

  // --- Area configuration: the HPTPATH, SQUISH and TERMINATE paths and the
  //     open areas file of the walk over all areas.

  // --- Program configuration file and decoding settings.

  // --- Decoder state of the area at hand.
};

inline void LogInfo(RunContext& context, std::string_view message) {
  LogInfo(context.log, message);
}
inline void LogError(RunContext& context, std::string_view message) {
  LogError(context.log, message);
}

}  // namespace kavel

#endif  // KAVEL_DRIVER_RUN_CONTEXT_H_
