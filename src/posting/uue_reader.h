// Posting of binary files: the lines of the standard uuencoded form of a
// file, produced while the file is read, so that the section splitter can
// cut them like the lines of a text file (layout: util/uue_line.h).
#ifndef KAVEL_POSTING_UUE_READER_H_
#define KAVEL_POSTING_UUE_READER_H_

#include <memory>
#include <string>
#include <string_view>

namespace kavel {

class TextReader;

// Opens `path` for reading and answers a reader of its uuencoded lines,
// with `name` in the begin line; null (and *error set) when the file cannot
// be opened. An empty file yields no line at all. Memory is bounded by a
// small read buffer whatever the file's size.
std::unique_ptr<TextReader> OpenUueReader(std::string_view path,
                                          std::string_view name, int* error);

}  // namespace kavel

#endif  // KAVEL_POSTING_UUE_READER_H_
