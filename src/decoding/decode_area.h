// The decoding commands: one area (/DECODE) or every area of the tosser's
// areas file (/ALL). Both expect the decoding settings to be loaded.
#ifndef KAVEL_DECODING_DECODE_AREA_H_
#define KAVEL_DECODING_DECODE_AREA_H_

#include <string_view>

namespace kavel {

struct RunContext;
class UniqueNames;

// Decodes the area whose tag is the first word of `text`: looks it up,
// prepares the text base and the forward base (one subdirectory per area
// when so configured), scans it and saves what it found. The settings are
// not changed. `names` remembers the forward and file names handed out in
// this run; null makes a memory for this area alone. A passthrough area is
// only announced: "Area <tag> is passthrough, it has no message base".
void DecodeArea(RunContext& ctx, std::string_view text,
                UniqueNames* names = nullptr);

// Decodes every area of the areas file in file order, passing passthrough
// areas by without a line. Stops after the area at hand when a key has been
// pressed or SIGINT/SIGTERM arrived.
void DecodeAllAreas(RunContext& ctx);

}  // namespace kavel

#endif  // KAVEL_DECODING_DECODE_AREA_H_
