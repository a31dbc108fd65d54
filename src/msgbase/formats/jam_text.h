// Conversion between the common message text (kludge lines, text, trailing
// Via, SEEN-BY and PATH lines; see message_text.h) and what a JAM base
// keeps: kludge subfields in the message header and the plain text in the
// text file.
//
// Storing takes as kludge subfields only the leading run of 0x01 lines (the
// lines before the first line that does not begin with 0x01), plus every
// "SEEN-BY: ", 0x01 "PATH: " and 0x01 "Via " line wherever it stands. Every
// other line, 0x01 or not, stays in the text in its place, so a kludge-like
// line inside the text (the end line of a posted section) keeps its
// position. Loading puts the kludge subfields before the text and the Via,
// SEEN-BY and PATH lines after it, which gives back the text that was
// stored whenever the trailing lines stood at the end.
#ifndef KAVEL_MSGBASE_FORMATS_JAM_TEXT_H_
#define KAVEL_MSGBASE_FORMATS_JAM_TEXT_H_

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "msgbase/byte_stream.h"
#include "msgbase/formats/jam_records.h"

namespace kavel {

struct JamSplitText {
  // Kludge, Via, SEEN-BY and PATH subfields in the order of their lines.
  std::vector<JamSubfield> subfields;
  // The remaining lines, each ended by one CR.
  std::string body;
  // JamCrc of the (last) MSGID and REPLY values; kJamNone without one.
  uint32_t msgIdCrc = kJamNone;
  uint32_t replyCrc = kJamNone;
};

// Splits a message text into subfields and body. Lines end at CR or a zero
// byte, one LF after the end is skipped, a last line without an end is a
// line; lines of any length pass whole. Leading-run lines map as follows
// (prefixes compared exactly, letter case included):
//   0x01 "MSGID: " -> 4    0x01 "REPLY: " -> 5    0x01 "PID: " -> 7
//   0x01 "FLAGS: " or 0x01 "FLAGS " -> 2003
//   0x01 "INTL", 0x01 "FMPT", 0x01 "TOPT" -> dropped (the address
//   subfields carry the addresses)
//   any other 0x01 line -> 2000, the line without its 0x01
// Anywhere: 0x01 "Via " -> 8, "SEEN-BY: " -> 2001, 0x01 "PATH: " -> 2002.
void SplitJamText(std::string_view text, JamSplitText* out);

// Writes into `out` (empty, at position 0) the common text of a loaded
// message from its subfields (in stored order) and the body of `length`
// bytes at `offset` of the text file, which holds `file_size` bytes
// (offset + length <= file_size):
//   1. one line per subfield 4, 5, 7, 2000, 2003 and 2004, in subfield
//      order, as 0x01 "MSGID: ", "REPLY: ", "PID: ", (nothing), "FLAGS: ",
//      "TZUTC: " + data; a 2000 subfield whose data begins with "Via " is
//      kept for step 3 instead;
//   2. the body as stored (a CR is added when lines follow and the body's
//      last line has no end);
//   3. the Via lines (subfields 8 as 0x01 "Via " + data, and the 2000 Via
//      subfields as 0x01 + data) in subfield order, then every 2001 as
//      "SEEN-BY: " + data, then every 2002 as 0x01 "PATH: " + data.
// Each line ends with one CR. Other subfield ids add no line. The body
// goes from the file's stream into `out` without a copy in between. False
// when the body cannot be read or `out` cannot take it.
bool ReadJamText(ByteStream* text_file, int64_t offset, int64_t length,
                 int64_t file_size, const std::vector<JamSubfield>& subfields,
                 ByteStream* out);

}  // namespace kavel

#endif  // KAVEL_MSGBASE_FORMATS_JAM_TEXT_H_
