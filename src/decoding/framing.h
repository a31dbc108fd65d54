// Recognition of the framing lines that posting puts around each section of
// a posted file: the begin line ("text.begin % of % of file %" by default,
// the "%" standing for the part number, the number of parts and the file
// name) and the end line ("text.end").
#ifndef KAVEL_DECODING_FRAMING_H_
#define KAVEL_DECODING_FRAMING_H_

#include <cstdint>
#include <string>
#include <string_view>

#include "msgbase/message_text.h"

namespace kavel {

// True when the first word of `line` equals the first word of `pattern`,
// case ignored, where each word counts as if it began with a ^A (so a
// framing line sent as a kludge matches a plain pattern and the reverse).
// Only the pattern's first word is compared.
bool IsFramingLine(std::string_view line, std::string_view pattern);

// A quick test before IsFramingLine: looking at the first characters of a
// line alone, it rejects lines that IsFramingLine(line, pattern) would
// reject (most lines of a message), and passes the others on.
class FramingFilter {
 public:
  explicit FramingFilter(std::string_view pattern);
  // False only for lines that cannot be framing lines of the pattern.
  bool MayMatch(std::string_view line) const { return leads_.Admits(line); }
  // The same test for a walk over the lines of a text (NextAdmitted).
  const LineLeads& leads() const { return leads_; }

 private:
  LineLeads leads_;  // characters the pattern's first word may begin with
};

// Walks a begin line along its pattern: skips as many characters of `line`
// as stand in `pattern` before its next "%" (the literal text is skipped by
// length, not compared), drops that literal and the "%" from `pattern`, and
// answers the next word of `line` as written (a view into it). The field is
// then removed from `line` up to (not including) its first blank; a line
// without a blank is left as it is.
std::string_view NextPatternField(std::string_view* pattern,
                                  std::string_view* line);

// The fields of one begin line.
struct BeginLine {
  int32_t part = 0;
  int32_t totalParts = 0;
  std::string fileName;  // upper-cased, as written in the line
};

enum class BeginLineKind {
  kNotBegin,   // not a begin line at all
  kMalformed,  // a begin line whose numbers or name cannot be used
  kUnsafe,     // well formed, but the name may not become a file of ours
  kValid,
};

// Reads `line` as a begin line of `pattern`. Part numbers outside
// 1..totalParts and names that are empty count as malformed; names that
// would leave the target directory or are no plain file name count as
// unsafe (see IsSafeFileName). `out` is filled for kUnsafe and kValid.
BeginLineKind ParseBeginLine(std::string_view line, std::string_view pattern,
                             BeginLine* out);

}  // namespace kavel

#endif  // KAVEL_DECODING_FRAMING_H_
