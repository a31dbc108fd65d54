// The decoding part of Kavel.cfg: text base, forward base, forward markers
// and the description list. Read only for the decoding commands.
#ifndef KAVEL_DECODING_DECODING_SETTINGS_H_
#define KAVEL_DECODING_DECODING_SETTINGS_H_

#include <cstdint>
#include <string_view>

#include "context/settings.h"

namespace kavel {

struct RunContext;

// How long a decoding run waits for the lock of the decoding state.
int32_t StateLockWaitSeconds(const RunContext& ctx);

// Offers one significant line of the decoding part to every decoding
// keyword, in the order of the keyword table.
void ReadDecodingKeyword(RunContext& ctx, std::string_view line);

// Adds the marker of a FORWARDMARKER value at the end of the list. Writes
// "Not enough memory for load new fwd marker.." and adds nothing when the
// memory for it cannot be had.
void AddForwardMarker(RunContext& ctx, std::string_view value);

}  // namespace kavel

#endif  // KAVEL_DECODING_DECODING_SETTINGS_H_
