// The CRC that JAM bases keep of names and message ids.
#ifndef KAVEL_MSGBASE_FORMATS_JAM_CRC_H_
#define KAVEL_MSGBASE_FORMATS_JAM_CRC_H_

#include <cstdint>
#include <string_view>

namespace kavel {

// Reflected CRC-32 (polynomial 0xEDB88320) of `text` with the ASCII letters
// A-Z taken as a-z, started at 0xFFFFFFFF and not inverted at the end. Other
// bytes (CP866 letters included) are taken as they are, as the JAM tools
// do. The empty text gives 0xFFFFFFFF, the value JAM stores for "none".
uint32_t JamCrc(std::string_view text);

}  // namespace kavel

#endif  // KAVEL_MSGBASE_FORMATS_JAM_CRC_H_
