// The message composer: turns one text file into the section messages of
// one message area. Called once per file by the /ENCODE driver:
// PreparePosting, then PostSections.
//
// Text of every posted message, line by line, each ended by CR:
//   MSGID (and, in netmail areas, INTL/FMPT/TOPT) kludges
//   ^A"PID: Tolvex 2.2Beta"
//   the encoded-message line            (useEncodedMessage)
//   the begin line, FillPlaceholders    (useEncodedStrings)
//   the file lines of the section, whole and unchanged
//   the end line                        (useEncodedStrings)
//   an empty line, unless the section's last file line begins with "..."
//   "--- " + tearline
//   " * Origin: " + origin + " (" + own address + ")"
//
// Sections: lines are counted with their length plus 2; a section ends
// after the line that brings its count above kMaxSectionBytes, or at the
// end of the file.
#ifndef KAVEL_POSTING_COMPOSER_H_
#define KAVEL_POSTING_COMPOSER_H_

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace kavel {

struct RunContext;
class TextReader;

inline constexpr int32_t kMaxSectionBytes = 16384;

// The PID kludge of every posted message.
inline constexpr std::string_view kPidLine = "\x01PID: Tolvex 2.2Beta";

// Resets the posting state, opens or creates the base of the job's area
// (ctx.postingArea; left empty when that fails), writes the banner, checks
// that the job's fileName exists and turns the framing texts into kludge
// lines when useAsKludge is set. Every failure is an error line and leaves
// ctx.postingOk false.
void PreparePosting(RunContext& ctx);

// Posts the job's file as section messages into ctx.postingArea and closes
// the area, in every case. The first section that cannot be added or
// stored ends the posting of the file. Writes "  - Ok..." when the whole
// file was posted without a failure. `counted`, when given, is what
// CountSectionLines answered for the file's own lines: a posting that does
// not recode them takes it rather than reading the file to count again.
void PostSections(RunContext& ctx,
                  const std::vector<int32_t>* counted = nullptr);

// ctx.postingOk := false, then the error line `message`.
void FailPosting(RunContext& ctx, std::string_view message);

// Closes ctx.postingArea if one is held; false when it held none.
bool ClosePostingArea(RunContext& ctx);

// The begin line of the current section: the template with its first three
// "%" replaced by partNumber, partCount and the file's name without its
// directory (blanks in that name become "_", as the name must stay one
// word for the decoder).
std::string FillPlaceholders(const RunContext& ctx, std::string_view tmpl);

// Replaces the first "%" of *text by `value`; without a "%" the value goes
// in front of the text. The result is cut at 255 characters.
void ReplacePlaceholder(std::string_view value, std::string* text);

// Reads `reader` to its end and answers the number of lines of each
// section, by the section rule. An empty file has no section.
std::vector<int32_t> CountSectionLines(TextReader& reader);

}  // namespace kavel

#endif  // KAVEL_POSTING_COMPOSER_H_
