// Which areas /ALL decodes: DECODEAREAS masks and SKIPKINDS kinds.
#ifndef KAVEL_DECODING_AREA_SELECTION_H_
#define KAVEL_DECODING_AREA_SELECTION_H_

#include <string_view>

namespace kavel {

struct DecodingSettings;

// `decodeAreas` is a list of tag masks ("*", "?", case ignored); a mask
// with a leading "!" leaves areas out. The last mask that matches the tag
// decides; a tag that no mask matches is left out, unless every mask
// begins with "!". `skipKinds` lists kind names (ECHO, LOCAL, NETMAIL,
// BAD, DUPE, case ignored). An area is decoded when the masks select it and
// its kind is not skipped; with neither setting every area is.
bool AreaSelected(const DecodingSettings& settings, std::string_view tag,
                  std::string_view kind);

}  // namespace kavel

#endif  // KAVEL_DECODING_AREA_SELECTION_H_
