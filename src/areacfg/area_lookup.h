// Looking one area up by its tag in the tosser's areas file.
#ifndef KAVEL_AREACFG_AREA_LOOKUP_H_
#define KAVEL_AREACFG_AREA_LOOKUP_H_

#include <string_view>

#include "posting/posting_job.h"

namespace kavel {

struct RunContext;

// Looks up the area named by the job's areaName (case ignored) in the areas
// file the settings choose, and fills baseType, basePath, ownAddress,
// areaDescription, areaKind and passthrough of the job. Every lookup first
// clears these fields (ownAddress goes back to the FROMADDR setting), so
// nothing is inherited from an earlier lookup. Answers true when the area
// was found; basePath is then its base path as the file spells it, or empty
// for a passthrough area. Writes "Area <name> not found... " when it is not
// defined, and "Unable to open areas configuration file" with the file
// tried when the file cannot be read; both count as failures of the run.
// Comment lines never define an area.
//
// Fidoconfig files ("H"): the first line whose second word is the tag
// defines the area; ECHOAREADEFAULTS lines supply -a, -b and -d to the
// area lines below them; an area without any -b is a Squish area.
// Squish files ("S"): the last defining line wins; -$ makes it Squish
// (*.MSG otherwise), -P<address> gives its aka. "T" files define no area.
bool LookUpArea(RunContext& ctx);

// The kind of area that an areas-file keyword introduces (case ignored).
AreaKind AreaKindOfKeyword(std::string_view keyword);

}  // namespace kavel

#endif  // KAVEL_AREACFG_AREA_LOOKUP_H_
