// The walk over every area of the tosser's areas file, in file order.
#ifndef KAVEL_AREACFG_AREA_LIST_H_
#define KAVEL_AREACFG_AREA_LIST_H_

#include <memory>
#include <string>

#include "platform/platform.h"

namespace kavel {

struct RunContext;

// The open areas file of the walk (part of RunContext). Lookups read the
// file through readers of their own, so they may run while a walk is open.
struct AreaList {
  std::unique_ptr<TextReader> reader;  // null when the walk is not open
  char kind = 0;                       // kind letter of the open file
};

// Writes "Unable to open areas configuration file" and the line naming the
// file of `kind` that was tried (TriedAreaFileLine); the run then lacks its
// areas file (RunFailure::kNoAreasFile).
void ReportAreaFileUnopened(RunContext& ctx, char kind);
// Opens the areas file of `kind` (see area_files.h) for the walk. Answers
// false, after ReportAreaFileUnopened, when no file is chosen or it cannot be
// opened; the walk then yields nothing.
bool OpenAreaList(RunContext& ctx, char kind);
// The next area's tag, upper-cased; the empty text when none is left (also
// when the walk is not open). Comment lines, empty lines, lines of a single
// word and ECHOAREADEFAULTS lines yield nothing; every other line yields its
// second word. A "T" file yields no area.
std::string NextAreaName(RunContext& ctx);
// Closes the file if it is open.
void CloseAreaList(RunContext& ctx);

}  // namespace kavel

#endif  // KAVEL_AREACFG_AREA_LIST_H_
