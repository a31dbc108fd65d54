// Which tosser areas file the system reads, and how its lines are split.
#ifndef KAVEL_AREACFG_AREA_FILES_H_
#define KAVEL_AREACFG_AREA_FILES_H_

#include <string>

#include "context/settings.h"

namespace kavel {

// Kind letters of an areas file.
constexpr char kFidoconfigAreas = 'H';
constexpr char kSquishAreas = 'S';
constexpr char kTerminateAreas = 'T';

// The kind of the first non-empty path (HPTPATH, SQUISH, TERMINATE, in that
// order). When all three are empty and the environment variable FIDOCONFIG
// names a regular file, as the Linux tossers find their main file, that
// file is read as a fidoconfig tree ("H"). 0 when nothing is chosen.
char ChooseAreaFileKind(const AreaFileSettings& files);
// The path that belongs to a kind letter (for "H" without HPTPATH, the
// file $FIDOCONFIG names); empty for 0 or an unknown letter.
std::string AreaFilePath(const AreaFileSettings& files, char kind);

// The line written after "Unable to open areas configuration file": the
// file of `kind` that was tried, spelled as its setting (or FIDOCONFIG)
// spells it, or, for kind 0, that none of them names a file.
std::string TriedAreaFileLine(const AreaFileSettings& files, char kind);

}  // namespace kavel

#endif  // KAVEL_AREACFG_AREA_FILES_H_
