// Case folding of names and keywords. A leaf: includes nothing of the
// program, so the platform layer and every subsystem can use it.
//
// Two rules, chosen per text:
// - a text that is valid UTF-8 (no overlong forms, no surrogates, nothing
//   above U+10FFFF) and holds a byte above 127 is folded character by
//   character: ASCII letters and the Cyrillic letters U+0400-U+045F
//   (U+0410-U+042F <-> U+0430-U+044F, U+0400-U+040F <-> U+0450-U+045F);
//   every other character is kept. A folded letter has the same UTF-8
//   length as its partner, so folding never changes a text's size.
// - any other text is folded byte by byte: Latin a-z and the CP866 letters
//   (small 160-175 and 224-239, capital 128-159).
#ifndef KAVEL_UTIL_CASE_FOLD_H_
#define KAVEL_UTIL_CASE_FOLD_H_

#include <cstddef>
#include <string>
#include <string_view>

namespace kavel {

// True when `text` is valid UTF-8 and holds at least one byte above 127.
bool IsUtf8Name(std::string_view text);

// One byte under the CP866 rule.
char UpperChar(char c);
char LowerChar(char c);

// Whole texts under the rule the text calls for.
std::string UpperText(std::string_view text);
std::string LowerText(std::string_view text);

// Equality of UpperText(a) and UpperText(b), without copying pure ASCII or
// CP866 texts.
bool EqualIgnoringCase(std::string_view a, std::string_view b);

// True when `mask` ("*" any run, "?" any one byte) matches all of `text`,
// both folded by UpperText. Time is at most proportional to the product of
// the two lengths.
bool MaskMatchesIgnoringCase(std::string_view text, std::string_view mask);

// Offset of the first occurrence of `part` in `text` under the CP866 byte
// rule (a search in message text, not a name), or npos.
size_t FindIgnoringCase(std::string_view text, std::string_view part);

// The character of `name` (a text whose rule is given by `utf8`, see
// IsUtf8Name) that starts at `pos`: answers its length in bytes and sets
// *other to its spelling in the other case, or empty when it has none.
size_t OtherCaseAt(std::string_view name, size_t pos, bool utf8,
                   std::string* other);

}  // namespace kavel

#endif  // KAVEL_UTIL_CASE_FOLD_H_
