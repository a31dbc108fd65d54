// The facts about one saved file that its file-list line can show, and the
// "@" template language that turns them into that line.
#ifndef KAVEL_DECODING_MESSAGE_INFO_H_
#define KAVEL_DECODING_MESSAGE_INFO_H_

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace kavel {

// One record per saved file. Every text is at most 255 characters.
struct MessageInfo {
  std::string fileName;     // "@File": name part of the saved path
  uint32_t size = 0;        // "@Size": bytes of the saved file
  std::string fromName;     // "@FromName"
  std::string toName;       // "@ToName"
  std::string toAddr;       // "@ToAddr": always with the point
  std::string fromAddr;     // "@FromAddr": point only when not 0
  std::string subject;      // "@Subject"
  std::string dateWritten;  // "@DateWritten": YYYY/MM/DD
  std::string dateArrived;  // "@DateArrived"
  std::string timeWritten;  // "@TimeWritten": HH:MM:SS.hh
  std::string timeArrived;  // "@TimeArrived"
};

// A template line being expanded: pieces of the template's own text, in
// which tokens are still looked for, and values already inserted, which are
// never searched again.
struct TemplatePiece {
  bool isValue = false;
  std::string text;
};
using TemplateLine = std::vector<TemplatePiece>;

// Replaces every occurrence of `token` (case ignored) in the template text
// of `line` by `value`; a "(" right after the token starts a field format
// (see FormatField). Bytes below 32 in `value` are inserted as blanks.
void ExpandToken(TemplateLine* line, std::string_view value,
                 std::string_view token);

// Formats `value` by the field format at the start of `format_and_rest`,
// which begins with "(": "(width)" aligns right, "(width,A)" aligns by the
// letter A: L left, C centre (an odd blank goes to the right), anything
// else right. Widths outside 0..255 are taken as 0 or 255; a malformed
// width is 0. A value longer than its width is kept whole. *rest receives
// the template text after the ")", or, without a ")", the text after the
// "(" (it then stands once, after the value).
std::string FormatField(std::string_view format_and_rest,
                        std::string_view value, std::string* rest);

// Expands every token of `tmpl` with the values of `info`, in the fixed
// order @File, @Size, @FromName, @ToName, @ToAddr, @FromAddr, @Subject,
// @DateWritten, @DateArrived, @TimeWritten, @TimeArrived, @Space, and "\n"
// (CR LF). The result is cut at 255 characters.
std::string BuildInfoLine(std::string_view tmpl, const MessageInfo& info);

}  // namespace kavel

#endif  // KAVEL_DECODING_MESSAGE_INFO_H_
