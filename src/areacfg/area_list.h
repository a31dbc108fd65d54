// The walk over every area of the tosser's configuration tree, in reading
// order.
#ifndef KAVEL_AREACFG_AREA_LIST_H_
#define KAVEL_AREACFG_AREA_LIST_H_

#include <string>

#include "areacfg/area_tree.h"
#include "context/run_context.h"

namespace kavel {

struct RunContext;

// Writes "Unable to open areas configuration file" and the line naming the
// file of `kind` that was tried (TriedAreaFileLine); the run then lacks its
// areas file (RunFailure::kNoAreasFile).
void ReportAreaFileUnopened(RunContext& ctx, char kind);
// Reads the tree of `kind` (see area_files.h) for the walk. Answers false,
// after ReportAreaFileUnopened, when no file is chosen or it cannot be
// read; the walk then yields nothing.
bool OpenAreaList(RunContext& ctx, char kind);
// The next area definition, or null when none is left (also when the walk
// is not open). Only area lines define areas; every definition is yielded,
// a tag defined twice twice. A "T" file yields no area.
const AreaDefinition* NextArea(RunContext& ctx);
// The next area's tag, upper-cased; the empty text when none is left.
std::string NextAreaName(RunContext& ctx);
// Closes the walk if it is open.
void CloseAreaList(RunContext& ctx);

}  // namespace kavel

#endif  // KAVEL_AREACFG_AREA_LIST_H_
