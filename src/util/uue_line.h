// One line of the standard uuencoded form of a file.
//
// Layout (what uuencode writes):
//   "begin 644 " + name
//   one line per 45 bytes: the length character, then 60 characters
//   the last, shorter line for the rest (4 characters per 3 bytes begun)
//   "`"            (a line of length 0)
//   "end"
// Every 6-bit value v is written as the character 32 + v, except 0, which
// is written as "`".
#ifndef KAVEL_UTIL_UUE_LINE_H_
#define KAVEL_UTIL_UUE_LINE_H_

#include <cstddef>
#include <string>

namespace kavel {

// Bytes encoded by one full line.
inline constexpr size_t kUueLineBytes = 45;

// The character that stands for the 6-bit value v.
inline char UueChar(unsigned v) {
  v &= 63;
  return v == 0 ? '`' : static_cast<char>(32 + v);
}

// Appends to *line the encoded line (length character included) for the
// n <= 45 bytes at data.
void EncodeUueLine(const unsigned char* data, size_t n, std::string* line);

}  // namespace kavel

#endif  // KAVEL_UTIL_UUE_LINE_H_
