// The message areas a tosser's configuration tree defines, read once by a
// lookup or by the walk over all areas.
//
// Fidoconfig ("H"): EchoArea, LocalArea, NetmailArea (NetArea), BadArea
// and DupeArea define areas; EchoAreaDefaults, AreaGroup and
// AreaGroupDefaults give defaults; the first Address and EchoTossLog are
// noted. Every other keyword is skipped without a word. An area line is
// "<keyword> <tag> <path|passthrough> <item>...", the items being options
// (words that begin with "-"), links and their options in any order.
// Base type without -b, as the tossers give it: Squish for every area above
// the first EchoAreaDefaults line and for LocalArea/NetmailArea always;
// below one, the type of the defaults in force (*.MSG when they name none,
// "EchoAreaDefaults OFF" included). An area whose tag matches an AreaGroup
// mask takes that group's AreaGroupDefaults (a copy of EchoAreaDefaults as
// it stood, with the group's options on top; Squish when the group has
// none) instead of EchoAreaDefaults. Passthrough: the path "passthrough",
// -pass, -b Passthrough or defaults that say so.
//
// Squish ("S"): EchoArea, NetArea, LocalArea, BadArea, DupeArea; -$ makes
// an area Squish (*.MSG otherwise), -P<address> gives its aka, -0 or "#"
// makes it passthrough; flags may begin with "/" as well.
#ifndef KAVEL_AREACFG_AREA_TREE_H_
#define KAVEL_AREACFG_AREA_TREE_H_

#include <string>
#include <string_view>
#include <unordered_map>
#include <utility>
#include <vector>

#include "areacfg/config_tree.h"

namespace kavel {

struct RunContext;

// The keyword that defined an area.
enum class AreaKeyword { kEcho, kLocal, kNetmail, kBad, kDupe };

// The name SKIPKINDS uses for a kind: "ECHO", "LOCAL", "NETMAIL", "BAD",
// "DUPE".
std::string_view AreaKeywordName(AreaKeyword keyword);

struct AreaDefinition {
  std::string tag;  // as the tree spells it
  AreaKeyword keyword = AreaKeyword::kEcho;
  std::string basePath;  // as written; empty for a passthrough area
  std::string baseType;  // "S", "M", "J"; empty after an unknown -b
  bool passthrough = false;
  std::string akaText;  // -a of the line or of its defaults; empty = none
  std::string description;
  TreePlace place;
  // Reports about the line's items (error line?, text), written when the
  // area is looked up, so each comes once per lookup and never for areas
  // nobody asked for.
  std::vector<std::pair<bool, std::string>> notes;
};

struct AreaTree {
  std::vector<AreaDefinition> areas;  // every definition, in reading order
  // UpperText(tag) -> index of the defining entry: the first for "H", the
  // last for "S".
  std::unordered_map<std::string, size_t> byTag;
  std::string firstAddress;  // first word of the first Address line
  std::string echoTossLog;   // EchoTossLog file, empty when none
};

// Reads the tree of `kind` ("H", "S"; "T" only checks that the file can
// be read and defines nothing) whose main file is `path`. False when the
// main file cannot be read.
bool ReadAreaTree(RunContext& ctx, char kind, std::string_view path,
                  AreaTree* tree);

// The area that defines `tag` (case ignored), or null.
const AreaDefinition* FindArea(const AreaTree& tree, std::string_view tag);

}  // namespace kavel

#endif  // KAVEL_AREACFG_AREA_TREE_H_
