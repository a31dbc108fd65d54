// Reading uuencoded text: one "begin <mode> <name>" ... "end" block, fed
// line by line, turned into the bytes it encodes.
//
// A data line starts with its length character (32 + n, or "`" for 0) and
// holds 4 characters for every 3 of its n bytes begun, each character
// 32..96 standing for 6 bits ("`" for 0). One character more (a check
// character some encoders add) is allowed. A line of length 0 ends the
// data; "end" must follow it (it may also follow the last data line
// directly). Empty lines and kludge lines (^A first) are passed over
// everywhere.
#ifndef KAVEL_DECODING_UUE_DECODER_H_
#define KAVEL_DECODING_UUE_DECODER_H_

#include <cstdint>
#include <string>
#include <string_view>

namespace kavel {

// Reads a "begin <mode> <name>" line: the mode 1 to 4 octal digits (it is
// not used), the name the rest of the line without blanks at its ends.
// False when the line is none or the name is empty.
bool ParseUueBeginLine(std::string_view line, std::string* name);

// True when `line` is a data line of a whole, well-formed length (the line
// of length 0 included).
bool IsUueDataLine(std::string_view line);

class UueDecoder {
 public:
  enum class Problem {
    kNone,
    kNoBegin,       // the first line is not a begin line
    kBadLength,     // a line whose length character does not fit it
    kBadCharacter,  // a character outside the encoding's range
    kNoEnd,         // the lines ended before "end" (see Finish)
    kTextAfterEnd,  // a line after "end"
  };

  // Feeds the next line; appends the bytes it encodes to *bytes. Answers
  // false once the text is not (or no longer) one well-formed block; the
  // decoder then takes no more lines.
  bool Line(std::string_view line, std::string* bytes);
  // Called after the last line: answers true when the block was complete.
  bool Finish();

  bool begun() const { return state_ != State::kBeforeBegin; }
  bool ended() const { return state_ == State::kEnded; }
  Problem problem() const { return problem_; }
  // The name of the begin line, as written.
  const std::string& name() const { return name_; }
  // What was wrong, for a log line ("bad length character in line 7").
  std::string ProblemText() const;

 private:
  enum class State { kBeforeBegin, kData, kWantEnd, kEnded, kFailed };
  bool Fail(Problem problem);

  State state_ = State::kBeforeBegin;
  Problem problem_ = Problem::kNone;
  std::string name_;
  int64_t line_number_ = 0;  // lines of the block fed, the begin line is 1
};

// How a message of another poster numbers its part: a line
// "section N of M" (optionally followed by "of file NAME"), or a subject
// holding "[N/M]" or "(N/M)".
struct PartNumbering {
  int32_t part = 0;
  int32_t total = 0;
  std::string fileName;  // from "of file NAME", as written; may be empty
};

// Reads a "section N of M ..." line; false when the line is none or the
// numbers are not 1 <= N <= M <= max_parts.
bool ParseSectionLine(std::string_view line, int32_t max_parts,
                      PartNumbering* out);

// Finds "[N/M]" or "(N/M)" in a subject; *rest receives the subject
// without it, blanks at its ends removed.
bool ParseSubjectNumbering(std::string_view subject, int32_t max_parts,
                           PartNumbering* out, std::string* rest);

}  // namespace kavel

#endif  // KAVEL_DECODING_UUE_DECODER_H_
