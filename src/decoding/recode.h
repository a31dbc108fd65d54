// Helpers of the recoding of decoded text (LOCALCHARSET).
#ifndef KAVEL_DECODING_RECODE_H_
#define KAVEL_DECODING_RECODE_H_

#include <string>
#include <string_view>

#include "decoding/output_file.h"

namespace kavel {

class CharsetConverter;

// The charset a "^ACHRS: <charset> <level>" kludge line names, upper-cased;
// empty for any other line.
std::string ChrsCharsetOf(std::string_view kludge_line);

// Writes `line` to `out`, first recoded when `recoder` is not null
// (`buffer` is scratch space).
void WriteRecoded(OutputFile& out, std::string_view line,
                  CharsetConverter* recoder, std::string* buffer);

}  // namespace kavel

#endif  // KAVEL_DECODING_RECODE_H_
