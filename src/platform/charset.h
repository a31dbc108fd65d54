// Recoding text between charsets, through the C library's iconv.
#ifndef KAVEL_PLATFORM_CHARSET_H_
#define KAVEL_PLATFORM_CHARSET_H_

#include <cstddef>
#include <memory>
#include <string>
#include <string_view>

namespace kavel {

// The iconv name of a charset as a CHRS kludge names it (FTS-5003 names
// such as "LATIN-1" or "IBMPC"); names without an entry of their own are
// answered as they are. Case is ignored.
std::string IconvCharsetName(std::string_view chrs_name);

// One direction of recoding. Owned by its caller; not shared.
class CharsetConverter {
 public:
  // A converter from `from` to `to` (iconv names), or null when the C
  // library cannot convert between them.
  static std::unique_ptr<CharsetConverter> Open(std::string_view from,
                                                std::string_view to);
  virtual ~CharsetConverter() = default;

  // Writes `in` recoded into *out. Every character the target charset
  // cannot hold, and every byte that is invalid in the source charset,
  // becomes one "?". Answers the number of such replacements.
  virtual size_t Convert(std::string_view in, std::string* out) = 0;
};

}  // namespace kavel

#endif  // KAVEL_PLATFORM_CHARSET_H_
