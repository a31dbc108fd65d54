// Text, number and path helpers shared by every subsystem. Short strings are
// std::string values of at most 255 bytes of CP866 text where a routine says
// it cuts; only the blank (32) separates words.
#ifndef KAVEL_UTIL_TEXT_H_
#define KAVEL_UTIL_TEXT_H_

#include <cstdint>
#include <string>
#include <string_view>

#include "util/case_fold.h"

namespace kavel {

constexpr size_t kShortStringMax = 255;

// Cuts `text` to at most 255 characters.
std::string ShortString(std::string_view text);

void TrimLeadingBlanks(std::string* text);
std::string FirstWord(std::string_view line);  // upper-cased
std::string RestOfLine(std::string_view line);
std::string ExtractValue(std::string_view line);
bool IsSignificantLine(std::string_view line);

// Keyword readers: leave the variable untouched unless the line's keyword
// (upper-cased first word; the line must hold a blank) equals `keyword`.
// Answer true when the line was for this keyword.
bool ReadTextSetting(std::string_view keyword, std::string* value,
                     std::string_view line);
bool ReadFlagSetting(std::string_view keyword, bool* flag,
                     std::string_view line);
bool ReadPathSetting(std::string_view keyword, std::string* path,
                     std::string_view line);
// True when the line's keyword equals `keyword` (the shared match rule).
bool LineHasKeyword(std::string_view keyword, std::string_view line);

std::string IntToText(int64_t n);
// Decimal, or hexadecimal after "$"; malformed or overflowing text gives 0.
int32_t TextToInt(std::string_view text);
std::string PadWithZeros(std::string_view text, size_t width);

std::string FileNameOf(std::string_view path);
std::string DirectoryOf(std::string_view path);
std::string ParentDirectoryOf(std::string_view dir);
std::string ExtensionOf(std::string_view name);

}  // namespace kavel

#endif  // KAVEL_UTIL_TEXT_H_
