#include "decoding/framing.h"

#include <algorithm>

#include "decoding/file_name_safety.h"
#include "util/text.h"

namespace kavel {
namespace {

constexpr char kKludgeMark = '\x01';

// The first word (after leading blanks, up to the next blank) without a
// leading ^A: framing words compare the same with or without one.
std::string_view BareFirstWord(std::string_view text) {
  const size_t start = text.find_first_not_of(' ');
  if (start == std::string_view::npos) return {};
  text = text.substr(start);
  text = text.substr(0, text.find(' '));
  if (!text.empty() && text[0] == kKludgeMark) text.remove_prefix(1);
  return text;
}

}  // namespace

bool IsFramingLine(std::string_view line, std::string_view pattern) {
  // Only the first word matters; look at no more of a long line than needed.
  return EqualIgnoringCase(BareFirstWord(line), BareFirstWord(pattern));
}

FramingFilter::FramingFilter(std::string_view pattern) {
  const std::string_view word = BareFirstWord(pattern);
  if (word.empty()) return;
  for (int c = 0; c < 256; ++c) {
    const char ch = static_cast<char>(c);
    if (ch == word[0] || UpperChar(ch) == UpperChar(word[0])) {
      leads_.Mark(static_cast<unsigned char>(c));
    }
  }
  // A Cyrillic letter in UTF-8 starts with 0xD0 or 0xD1 in either case.
  const auto lead = static_cast<unsigned char>(word[0]);
  if (lead == 0xD0 || lead == 0xD1) {
    leads_.Mark(0xD0);
    leads_.Mark(0xD1);
  }
  // A word of plain ASCII equals, case ignored, only words of plain ASCII
  // of its length: the second byte narrows the lines down further.
  const bool ascii = std::all_of(word.begin(), word.end(), [](char c) {
    return static_cast<unsigned char>(c) < 0x80;
  });
  if (ascii && word.size() >= 2) {
    for (int c = 0; c < 0x80; ++c) {
      const char ch = static_cast<char>(c);
      if (ch == word[1] || UpperChar(ch) == UpperChar(word[1])) {
        leads_.MarkSecond(static_cast<unsigned char>(c));
      }
    }
  }
}

std::string_view NextPatternField(std::string_view* pattern,
                                  std::string_view* line) {
  const size_t mark = pattern->find('%');
  // Without a "%" the whole pattern counts as literal text.
  const size_t literal =
      mark == std::string_view::npos ? pattern->size() : mark;
  line->remove_prefix(std::min(literal, line->size()));
  pattern->remove_prefix(std::min(literal + 1, pattern->size()));
  const size_t start = std::min(line->find_first_not_of(' '), line->size());
  const std::string_view rest = line->substr(start);
  const std::string_view field = rest.substr(0, rest.find(' '));
  // A line that begins with a blank keeps its field: nothing stands before
  // its first blank.
  const size_t blank = line->find(' ');
  if (blank != std::string_view::npos) line->remove_prefix(blank);
  return field;
}

BeginLineKind ParseBeginLine(std::string_view line, std::string_view pattern,
                             BeginLine* out) {
  if (!IsFramingLine(line, pattern)) return BeginLineKind::kNotBegin;
  // Pattern and line are walked with the same field offsets, without the
  // ^A either may begin with.
  if (!pattern.empty() && pattern[0] == kKludgeMark) pattern.remove_prefix(1);
  if (!line.empty() && line[0] == kKludgeMark) line.remove_prefix(1);
  const std::string_view part_text = NextPatternField(&pattern, &line);
  const std::string_view total_text = NextPatternField(&pattern, &line);
  const std::string_view name = NextPatternField(&pattern, &line);
  const int32_t part = TextToInt(part_text);
  const int32_t total = TextToInt(total_text);
  if (total < 1 || part < 1 || part > total || name.empty()) {
    return BeginLineKind::kMalformed;
  }
  out->part = part;
  out->totalParts = total;
  out->fileName = UpperText(name);
  return IsSafeFileName(out->fileName) ? BeginLineKind::kValid
                                       : BeginLineKind::kUnsafe;
}

}  // namespace kavel
