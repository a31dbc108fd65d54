// Which tosser areas file the system reads, and how its lines are split.
#ifndef KAVEL_AREACFG_AREA_FILES_H_
#define KAVEL_AREACFG_AREA_FILES_H_

#include <string>
#include <string_view>

namespace kavel {

// The settings HPTPATH, SQUISH and TERMINATE: paths of the tosser's areas
// file, read as plain texts (no backslash appended). Empty = not set.
struct AreaFileSettings {
  std::string hptPath;
  std::string squishPath;
  std::string terminatePath;
};

// Kind letters of an areas file.
constexpr char kFidoconfigAreas = 'H';
constexpr char kSquishAreas = 'S';
constexpr char kTerminateAreas = 'T';

// The kind of the first non-empty path (HPTPATH, SQUISH, TERMINATE, in that
// order), or 0 when all three are empty.
char ChooseAreaFileKind(const AreaFileSettings& files);
// The path that belongs to a kind letter; empty for 0 or an unknown letter.
const std::string& AreaFilePath(const AreaFileSettings& files, char kind);

// The line written after "Unable to open areas configuration file": the
// file of `kind` that was tried, spelled as its setting spells it, or, for
// kind 0, that none of the three settings is set.
std::string TriedAreaFileLine(const AreaFileSettings& files, char kind);

// Line handling shared by the lookup and the walk. Areas files are written
// for the tosser, which separates words by blanks and tabs alike, so tabs
// become blanks here; the line is cut to a short string.
std::string NormalizeAreaLine(std::string_view raw);
// True for an empty line, and for a comment line: its first character after
// leading blanks is ";" or "#", or its first two are two backslashes.
bool IsAreaCommentOrEmpty(std::string_view line);
// The first word with its spelling kept (leading blanks skipped).
std::string WordAsWritten(std::string_view text);
// The text after the first word and the blanks that follow it; empty when
// the text holds only one word.
std::string_view AfterFirstWord(std::string_view text);

}  // namespace kavel

#endif  // KAVEL_AREACFG_AREA_FILES_H_
