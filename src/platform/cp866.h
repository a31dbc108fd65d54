// CP866 to UTF-8 conversion for terminals whose locale is UTF-8.
#ifndef KAVEL_PLATFORM_CP866_H_
#define KAVEL_PLATFORM_CP866_H_

#include <string>
#include <string_view>

namespace kavel::platform_internal {

// Every byte of `text` read as a CP866 character, written as UTF-8. Bytes
// below 128 pass unchanged.
std::string Cp866ToUtf8(std::string_view text);

// True when the C library's charset for the environment's locale (LC_ALL,
// then LC_CTYPE, then LANG) is UTF-8.
bool LocaleIsUtf8();

}  // namespace kavel::platform_internal

#endif  // KAVEL_PLATFORM_CP866_H_
