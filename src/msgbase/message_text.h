// The common view of a message's text: lines, kludge lines, and the
// MSGID/INTL/FMPT/TOPT address kludges. These operate on any ByteStream
// holding message text; MessageArea's shared operations are built on them
// and the formats use them for conversions.
//
// Text layout: lines written here end in one CR (0x0D), never LF. On
// reading, a line ends at a CR or a zero byte, and one LF directly after
// that end is skipped; a last line without an end is still a line; an LF
// elsewhere is an ordinary character. A kludge line begins with 0x01 and
// its name follows directly.
#ifndef KAVEL_MSGBASE_MESSAGE_TEXT_H_
#define KAVEL_MSGBASE_MESSAGE_TEXT_H_

#include <cstdint>
#include <memory>
#include <string>
#include <string_view>

#include "msgbase/ftn_address.h"

namespace kavel {

class ByteStream;

// Kludge names as the shared operations match them (0x01 included).
inline constexpr std::string_view kKludgeMsgId = "\x01MSGID:";
inline constexpr std::string_view kKludgeIntl = "\x01INTL";
inline constexpr std::string_view kKludgeFmpt =
    "\x01"
    "FMPT";
inline constexpr std::string_view kKludgeTopt = "\x01TOPT";

// Longest line the shorter text forms deliver.
inline constexpr size_t kMaxTextLine = 255;

// Reads the next line from the stream's position into *line (cut at
// `max_length`; the rest of an overlong line is skipped) and leaves the
// position after its end (and after one LF that follows the end).
void ReadTextLine(ByteStream* text, std::string* line, size_t max_length);
// Which lines a walk stops at: those whose first byte after any blanks and
// one 0x01 (the lead) is marked, and, once second bytes are marked too,
// whose byte after the lead is marked as second; both within the first
// max_length bytes. Every line (empty ones too) while no lead is marked.
struct LineLeads {
  // Up to this many marked leads are also listed in `few`, and the walk
  // looks for them sixteen bytes at a time.
  static constexpr int kFewLeads = 4;

  bool any = true;
  bool lead[256] = {};
  unsigned char few[kFewLeads] = {};
  int marked = 0;
  bool any_second = true;
  bool second[256] = {};

  void Mark(unsigned char c) {
    if (lead[c]) return;
    lead[c] = true;
    any = false;
    if (marked < kFewLeads) few[marked] = c;
    ++marked;
  }
  void MarkSecond(unsigned char c) {
    second[c] = true;
    any_second = false;
  }
  // True when `bytes` (the first `n` bytes of a line, cut at max_length)
  // have a marked lead at `i` (after any blanks and one 0x01) and, where
  // asked for, a marked second byte after it.
  bool LeadsAt(const char* bytes, size_t i, size_t n) const {
    return i < n && lead[static_cast<unsigned char>(bytes[i])] &&
           (any_second ||
            (i + 1 < n && second[static_cast<unsigned char>(bytes[i + 1])]));
  }
  // True for a line (cut at the walk's max_length) that the walk stops at.
  bool Admits(std::string_view line) const {
    size_t i = 0;
    while (i < line.size() && line[i] == ' ') ++i;
    if (i < line.size() && line[i] == '\x01') ++i;
    return any || LeadsAt(line.data(), i, line.size());
  }
};

// Walks the lines of a text from the stream's position on, giving each line
// and its positions exactly as repeated ReadTextLine calls would, without a
// copy where the stream can show its bytes in place (View). The stream must
// not be written or repositioned by others while the walk goes on; its
// position afterwards is unspecified.
class TextLineWalk {
 public:
  TextLineWalk(ByteStream* text, size_t max_length);
  // Walks `text` from its position on, as a new walk would; the room kept
  // for lines that had to be copied stays (a scan walks message after
  // message).
  void Restart(ByteStream* text);

  // The next line (cut at max_length), the position it starts at and the
  // position after its end. `*line` stays valid until the next call. False
  // at the end of the text.
  bool Next(std::string_view* line, int32_t* line_pos, int32_t* next_pos);
  // Moves on over lines that `leads` does not admit, as far as they lie in
  // one piece of the stream's bytes; *passed (when given) gets their bytes:
  // whole lines, each ending in a CR and maybe one LF after it. The next
  // line (for Next) may be admitted or not.
  void PassOver(const LineLeads& leads, std::string_view* passed = nullptr);
  // As Next, passing over the lines that `leads` does not admit (most
  // lines of a message are passed over without being delivered).
  bool NextAdmitted(const LineLeads& leads, std::string_view* line,
                    int32_t* line_pos, int32_t* next_pos);
  // The same without the positions.
  bool Next(std::string_view* line) {
    int32_t line_pos = 0;
    int32_t next_pos = 0;
    return Next(line, &line_pos, &next_pos);
  }

 private:
  // Reads the line at pos_ with ReadTextLine (lines that cross the end of
  // what the stream can show at once).
  void ReadCopied(std::string_view* line, int32_t* next_pos);

  ByteStream* text_;
  size_t max_length_;
  int32_t pos_;
  int32_t size_;
  const char* view_ = nullptr;  // bytes [view_start_, view_start_ + view_len_)
  int32_t view_start_ = 0;
  int32_t view_len_ = 0;
  int32_t zero_at_ = 0;  // offset of the next zero byte in the view, or len
  std::string copied_;
};

// Writes the line and one CR at the position. False when the stream could
// not take it (its status is then non-zero).
bool WriteTextLine(ByteStream* text, std::string_view line);
// True when the position equals the size.
bool AtEndOfText(ByteStream* text);

// The first line longer than `name` that begins with it (the whole line,
// 0x01 included, cut at max_length); false when there is none.
bool FindKludgeLine(ByteStream* text, std::string_view name, std::string* line,
                    size_t max_length);
// Replaces every line at least as long as `name` that begins with it by
// `line` (the other lines are rewritten ending in one CR); when none
// matched, `line` becomes the new first line and the old text follows it
// byte for byte. Lines of any length pass through uncut. `*text` is
// replaced by a new stream (from NewMemoryStream) positioned at its end.
// False, with *text untouched, when memory ran out.
bool PutKludgeLine(std::unique_ptr<ByteStream>* text, std::string_view name,
                   std::string_view line);
// Drops every line at least as long as `name` that begins with it; the
// other lines are rewritten ending in one CR; `*text` is replaced as by
// PutKludgeLine. False, with *text untouched, when memory ran out.
bool RemoveKludgeLines(std::unique_ptr<ByteStream>* text,
                       std::string_view name);

// Applies one kludge line to an origin address: MSGID (second word), INTL
// (third word, keeping the point held so far), FMPT (point). Other lines
// and unparsable words leave the address as it was.
void AddressFromOrigKludge(std::string_view line, FtnAddress* address);
// Same for a destination: INTL (second word, keeping the point), TOPT.
void AddressFromDestKludge(std::string_view line, FtnAddress* address);
// Scans every kludge line of the text from position 0 in order; either
// output may be null. The addresses are NOT cleared first.
void ScanAddressKludges(ByteStream* text, FtnAddress* orig, FtnAddress* dest);

}  // namespace kavel

#endif  // KAVEL_MSGBASE_MESSAGE_TEXT_H_
