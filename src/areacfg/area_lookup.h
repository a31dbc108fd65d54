// Looking one area up by its tag in the tosser's areas file.
#ifndef KAVEL_AREACFG_AREA_LOOKUP_H_
#define KAVEL_AREACFG_AREA_LOOKUP_H_

#include "context/posting_job.h"

namespace kavel {

struct RunContext;

// Looks up the area named by the job's areaName (case ignored) in the
// tosser's configuration tree the settings choose (area_tree.h), and fills
// baseType, basePath, ownAddress, areaDescription, areaKind, passthrough,
// areaTag and echoTossLog of the job. Every lookup first clears these
// fields (ownAddress goes back to the FROMADDR setting, or to the tree's
// first Address when FROMADDR is not set), so nothing is inherited from an
// earlier lookup. Answers true when the area was found; basePath is then
// its base path as the tree spells it, or empty for a passthrough area.
// Writes "Area <name> not found... " when it is not defined, and "Unable
// to open areas configuration file" with the file tried when the file
// cannot be read; both count as failures of the run. While the walk over
// the same file is open, its tree is used.
//
// Fidoconfig trees ("H"): the first definition of the tag wins. Squish
// files ("S"): the last one wins. "T" files define no area.
bool LookUpArea(RunContext& ctx);

}  // namespace kavel

#endif  // KAVEL_AREACFG_AREA_LOOKUP_H_
