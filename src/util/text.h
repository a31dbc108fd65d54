// Text, number and path helpers shared by every subsystem. Short strings are
// std::string values of at most 255 bytes of CP866 text where a routine says
// it cuts; only the blank (32) separates words.
#ifndef KAVEL_UTIL_TEXT_H_
#define KAVEL_UTIL_TEXT_H_

#include <cstdint>
#include <memory>
#include <string>
#include <string_view>

#include "platform/platform.h"

namespace kavel {

constexpr size_t kShortStringMax = 255;

// Cuts `text` to at most 255 characters.
std::string ShortString(std::string_view text);

// Upper-cases Latin a-z and the CP866 small letters 160-175 and 224-239.
std::string UpperText(std::string_view text);
char UpperChar(char c);
// Comparison and search under UpperChar, without copying either text.
bool EqualIgnoringCase(std::string_view a, std::string_view b);
// Offset of the first occurrence of `part` in `text`, or npos.
size_t FindIgnoringCase(std::string_view text, std::string_view part);
// True when `mask` ("*" any run, "?" any one character) matches all of
// `text` under UpperChar. Time is at most proportional to the product of
// the two lengths.
bool MaskMatchesIgnoringCase(std::string_view text, std::string_view mask);
// The inverse of UpperText for the same letters: how the program spells on
// disk the names it upper-cased on the way (area tags, decoded file names).
std::string LowerText(std::string_view text);
char LowerChar(char c);
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

#endif  // KAVEL_UTIL_TEXT_H_
