// The walk over every area of the tosser's configuration tree, in reading
// order.
#ifndef KAVEL_AREACFG_AREA_LIST_H_
#define KAVEL_AREACFG_AREA_LIST_H_

#include <memory>
#include <string>

#include "areacfg/area_tree.h"

namespace kavel {

struct RunContext;

// The tree of the walk (part of RunContext), read once when the walk
// opens. Lookups of the same file while the walk is open use it instead of
// reading the tree again, so a walk over n areas reads the tree once.
struct AreaList {
  std::unique_ptr<AreaTree> tree;  // null when the walk is not open
  char kind = 0;                   // kind letter of the open tree
  std::string path;                // its main file
  size_t next = 0;                 // index of the next area to yield
};

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
