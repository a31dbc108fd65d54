// Tests for names that arrive in messages (file names of begin lines) or in
// the areas file (area tags used as subdirectories) before any of them
// becomes part of a path that decoding creates or writes.
#ifndef KAVEL_DECODING_FILE_NAME_SAFETY_H_
#define KAVEL_DECODING_FILE_NAME_SAFETY_H_

#include <string_view>

namespace kavel {

// True when `name` is one plain component that stays inside the directory it
// is appended to: not empty, not "." or "..", and holding no "\", "/", ":",
// no wildcard "*" or "?", and no byte below 32.
bool IsSafeFileName(std::string_view name);

// True when `tag` may be appended to a base path as the area's
// subdirectory (the same rule as for file names).
bool IsSafeAreaTag(std::string_view tag);

}  // namespace kavel

#endif  // KAVEL_DECODING_FILE_NAME_SAFETY_H_
