// The lines of one posted section inside a loaded message: from the line
// after its begin line up to its end line, or, when a tosser has moved the
// framing lines out of the text, the message text itself.
#ifndef KAVEL_DECODING_SECTION_LINES_H_
#define KAVEL_DECODING_SECTION_LINES_H_

#include <cstdint>
#include <functional>
#include <string_view>

namespace kavel {

class ByteStream;
class FramingFilter;

// Gives `emit` each line (whole, without its end) of the section whose
// begin line ends at `text_pos` of `text`.
//
// As posted, a section runs up to the first line that IsFramingLine takes
// for `end_string` (that line excluded), or to the end of the text.
//
// A tosser that keeps every 0x01 line apart from the text (a JAM base's
// kludge subfields) hands both framing lines back among the 0x01 lines at
// the top of the message, the end line directly after the begin line.
// When the end line lies in that leading run of 0x01 lines, the section is
// the text that follows the run instead: from the first line not beginning
// with 0x01 up to the last tear line ("---", alone or followed by a blank)
// that an origin line (" * Origin: ...") directly follows, or to the end of
// the text when no such pair exists. One empty line directly before that
// tear line is the one posting writes there and is dropped; 0x01 lines are
// never given in this case.
//
// `end_filter` is FramingFilter(end_string), made once by the caller. The
// stream's position afterwards is unspecified.
//
// `emit_lines`, when given, takes lines of a posted section several at a
// time, as they stand in the text: whole lines, each ending in a CR and
// maybe one LF after it (the ends are not part of the lines). The lines
// keep their order among those given to `emit`.
void WalkSectionLines(
    ByteStream* text, int32_t text_pos, std::string_view end_string,
    const FramingFilter& end_filter,
    const std::function<void(std::string_view)>& emit,
    const std::function<void(std::string_view)>* emit_lines = nullptr);

}  // namespace kavel

#endif  // KAVEL_DECODING_SECTION_LINES_H_
