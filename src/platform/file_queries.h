// DOS-style questions about names on disk, answered by a file search as
// the DOS program asked them (names may hold wildcards), and the text open
// that keeps its result code.
#ifndef KAVEL_PLATFORM_FILE_QUERIES_H_
#define KAVEL_PLATFORM_FILE_QUERIES_H_

#include <cstdint>
#include <memory>
#include <string_view>

#include "platform/platform.h"

namespace kavel {

// Searches with every attribute allowed; names may hold wildcards.
bool FileExists(std::string_view name);
bool DirectoryExists(std::string_view path);
uint32_t FileSizeOf(std::string_view name);

// Opens the text file `name` for reading and keeps the operating result code
// (0 = opened, otherwise a kError* code of the platform) for LastIoResult.
// On success *file holds the open file, positioned at its first line.
bool TryOpenForReading(std::string_view name,
                       std::unique_ptr<TextReader>* file);
// The result code of the most recent TryOpenForReading.
int LastIoResult();

}  // namespace kavel

#endif  // KAVEL_PLATFORM_FILE_QUERIES_H_
