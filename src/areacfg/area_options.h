// The option list of a fidoconfig area line or ECHOAREADEFAULTS line:
// words that begin with "-", some followed by one value word.
#ifndef KAVEL_AREACFG_AREA_OPTIONS_H_
#define KAVEL_AREACFG_AREA_OPTIONS_H_

#include <string>
#include <string_view>

namespace kavel {

struct RunContext;

struct AreaOptions {
  // From -b: "S", "M", "J", or empty when the word named no known type.
  std::string typeLetter;
  // True once a -b option was read, also one with an unknown word (whose
  // empty typeLetter then wins over the defaults: an area never gets a
  // valid type by accident).
  bool typeGiven = false;
  // -b Passthrough: the area has no message base.
  bool passthrough = false;
  std::string akaText;      // from -a, upper-cased, not yet parsed
  std::string description;  // from -d
};

// Reads the option list `text` into `options` (which the caller provides
// fresh). Stops at the first word that is not an option (the links of an
// area line) or when the remaining text holds no blank; an option word
// that this reader does not know is skipped. Writes the log lines for a bad
// -a address and an unknown -b type.
void ParseAreaOptions(RunContext& ctx, std::string_view text,
                      AreaOptions* options);

// "SQUISH" -> "S", "MSG" -> "M", "JAM" -> "J", case ignored. Any other word
// writes an error line and gives the empty text.
std::string BaseTypeLetter(RunContext& ctx, std::string_view word);

// The part of `text` after its second double quote; `text` unchanged when
// it holds fewer than two.
std::string_view SkipQuotedText(std::string_view text);

}  // namespace kavel

#endif  // KAVEL_AREACFG_AREA_OPTIONS_H_
