#include "decoding/section_lines.h"

#include <limits>
#include <string_view>

#include "decoding/framing.h"
#include "msgbase/byte_stream.h"
#include "msgbase/message_text.h"

namespace kavel {
namespace {

constexpr size_t kAnyLineLength = std::numeric_limits<size_t>::max();

bool IsControlLine(std::string_view line) {
  return !line.empty() && line[0] == '\x01';
}

bool IsTearLine(std::string_view line) {
  return line.substr(0, 3) == "---" && (line.size() == 3 || line[3] == ' ');
}

bool IsOriginLine(std::string_view line) {
  return line.substr(0, 11) == " * Origin: ";
}

// True when the end line is met before the first line that is no control
// line, both before and after `text_pos`.
bool EndAmongLeadingControlLines(ByteStream* text, int32_t text_pos,
                                 const FramingFilter& end_filter,
                                 std::string_view end_string) {
  text->Seek(0);
  TextLineWalk lines(text, kAnyLineLength);
  std::string_view line;
  int32_t line_pos = 0;
  int32_t next_pos = 0;
  while (lines.Next(&line, &line_pos, &next_pos)) {
    if (!IsControlLine(line)) return false;
    if (line_pos >= text_pos && end_filter.MayMatch(line) &&
        IsFramingLine(line, end_string)) {
      return true;
    }
  }
  return false;
}

void WalkMessageBody(ByteStream* text,
                     const std::function<void(std::string_view)>& emit) {
  // First pass: where the body starts and where the posting's tail
  // (empty line, tear line, origin line) begins.
  text->Seek(0);
  std::string_view line;
  int32_t line_pos = 0;
  int32_t next_pos = 0;
  int32_t start = -1;
  int32_t cut = text->Size();
  int32_t tear_cut = -1;  // where the tail begins when the last line is a tear
  int32_t empty_at = -1;  // the last line's start when it is an empty one
  {
    TextLineWalk lines(text, kAnyLineLength);
    while (lines.Next(&line, &line_pos, &next_pos)) {
      if (start < 0) {
        if (IsControlLine(line)) continue;
        start = line_pos;
      }
      if (tear_cut >= 0 && IsOriginLine(line)) cut = tear_cut;
      tear_cut = IsTearLine(line) ? (empty_at >= 0 ? empty_at : line_pos) : -1;
      empty_at = line.empty() ? line_pos : -1;
    }
  }
  if (start < 0) return;
  text->Seek(start);
  TextLineWalk lines(text, kAnyLineLength);
  while (lines.Next(&line, &line_pos, &next_pos) && line_pos < cut) {
    if (IsControlLine(line)) continue;
    emit(line);
  }
}

}  // namespace

void WalkSectionLines(ByteStream* text, int32_t text_pos,
                      std::string_view end_string,
                      const FramingFilter& end_filter,
                      const std::function<void(std::string_view)>& emit,
                      const std::function<void(std::string_view)>* emit_lines) {
  text->Seek(text_pos);
  std::string_view line;
  {
    // Posted sections begin with a file line; control lines here mean the
    // framing lines may have been moved out of the text.
    TextLineWalk lines(text, kAnyLineLength);
    if (lines.Next(&line) && IsControlLine(line) &&
        EndAmongLeadingControlLines(text, text_pos, end_filter, end_string)) {
      WalkMessageBody(text, emit);
      return;
    }
  }
  text->Seek(text_pos);
  TextLineWalk lines(text, kAnyLineLength);
  for (;;) {
    if (emit_lines != nullptr) {
      // Lines that cannot be the end line go on in one piece.
      std::string_view passed;
      lines.PassOver(end_filter.leads(), &passed);
      if (!passed.empty()) (*emit_lines)(passed);
    }
    if (!lines.Next(&line)) break;
    if (end_filter.MayMatch(line) && IsFramingLine(line, end_string)) break;
    emit(line);
  }
}

}  // namespace kavel
