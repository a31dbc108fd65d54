// The items of a fidoconfig area line after its tag and path, and of an
// EchoAreaDefaults or AreaGroupDefaults line: options (words that begin
// with "-", some followed by one value word) and links (words that begin
// with a digit or "*"), in any order.
#ifndef KAVEL_AREACFG_AREA_OPTIONS_H_
#define KAVEL_AREACFG_AREA_OPTIONS_H_

#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace kavel {

struct AreaOptions {
  // From -b: 'S', 'M', 'J'; 0 when the word named no known type.
  char type = 0;
  // True once a -b option was read, also one with an unknown word (whose
  // empty type then wins over the defaults: an area never gets a valid
  // type by accident).
  bool typeGiven = false;
  // -pass, -b Passthrough, or the word "passthrough" on a defaults line.
  // Sticky: a -b before or after it does not undo it.
  bool passthrough = false;
  std::string akaText;  // from -a, as written, not yet parsed
  std::string description;
  bool descriptionGiven = false;
};

// Reports about the items: (error line?, text). The caller adds where the
// line stands.
using AreaNotes = std::vector<std::pair<bool, std::string>>;

// Words of a line: separated by blanks and tabs.
std::vector<std::string_view> SplitAreaWords(std::string_view line);

// Applies words[from...] to `options` (fresh or a copy of the defaults).
// -d takes one word, or a quoted run of words up to the first that ends in
// a double quote, joined by single blanks (an unclosed run takes the rest
// of the line less its last character). On a defaults line (`defaults`
// true) the word "passthrough" may stand anywhere. An unknown option or a
// stray word is noted and skipped, as are a bad -a address and an unknown
// -b word.
void ParseAreaOptions(const std::vector<std::string_view>& words, size_t from,
                      bool defaults, AreaOptions* options, AreaNotes* notes);

// "SQUISH" -> 'S', "MSG" -> 'M', "JAM" -> 'J', case ignored; 0 for any
// other word.
char BaseTypeLetter(std::string_view word);

}  // namespace kavel

#endif  // KAVEL_AREACFG_AREA_OPTIONS_H_
