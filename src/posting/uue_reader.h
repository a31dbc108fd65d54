// Posting of binary files: the lines of the standard uuencoded form of a
// file, produced while the file is read, so that the section splitter can
// cut them like the lines of a text file.
//
// Layout (what uuencode writes):
//   "begin 644 " + name
//   one line per 45 bytes: the length character, then 60 characters
//   the last, shorter line for the rest (4 characters per 3 bytes begun)
//   "`"            (a line of length 0)
//   "end"
// Every 6-bit value v is written as the character 32 + v, except 0, which
// is written as "`".
#ifndef KAVEL_POSTING_UUE_READER_H_
#define KAVEL_POSTING_UUE_READER_H_

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <string_view>

namespace kavel {

class TextReader;

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

// Opens `path` for reading and answers a reader of its uuencoded lines,
// with `name` in the begin line; null (and *error set) when the file cannot
// be opened. An empty file yields no line at all. Memory is bounded by a
// small read buffer whatever the file's size.
std::unique_ptr<TextReader> OpenUueReader(std::string_view path,
                                          std::string_view name, int* error);

}  // namespace kavel

#endif  // KAVEL_POSTING_UUE_READER_H_
