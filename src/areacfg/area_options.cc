#include "areacfg/area_options.h"

#include <algorithm>
#include <array>

#include "msgbase/ftn_address.h"
#include "util/text.h"

namespace kavel {
namespace {

// Options whose value is the next word, and options without a value (area
// and link options of the tossers); upper case, each between blanks.
constexpr std::string_view kWithValue =
    " -G -P -$M -LR -LW -SCAN -DUPECHECK -DUPEHISTORY -TOOOLD -TOONEW ";
constexpr std::string_view kFlags =
    " -KILL -K -NOKILL -$ -0 -R -W -HIDE -H -NOHIDE -MANUAL -NOMANUAL"
    " -MANDATORY -NOMANDATORY -PAUSE -NOPAUSE -PAUSED -AUTOAREAPAUSE"
    " -NOAUTOAREAPAUSE -PACK -NOPACK -KILLREAD -NOKILLREAD -KEEPUNREAD"
    " -NOKEEPUNREAD -LINK -NOLINK -DEBUG -NODEBUG -DOSFILE -NODOSFILE -TINYSB"
    " -NOTINYSB -KILLSB -NOKILLSB -KEEPSB -NOKEEPSB -SBKEEPALL -NOSBKEEPALL"
    " -CCOFF -NOCCOFF -CCON -MN -DEF -SBADD -SBIGN -SBSTRIP -SBKEEP -SENDORIG"
    " -NOSENDORIG -CRC -NOCRC -REPLACE -NOREPLACE -DIZ ";
// Options that carry their value in the same word: "-sbadd(2:5020/1)".
constexpr std::array<std::string_view, 4> kGluedValue = {
    "-SBADD(", "-SBIGN(", "-SBSTRIP(", "-SBKEEP("};

bool IsOneOf(std::string_view names, std::string_view word) {
  for (size_t at = names.find(word); at != std::string_view::npos;
       at = names.find(word, at + 1)) {
    if (names[at - 1] == ' ' && names[at + word.size()] == ' ') return true;
  }
  return false;
}

bool IsLink(std::string_view word) {
  return word.front() == '*' || (word.front() >= '0' && word.front() <= '9');
}

// The -d value starting at words[*at]; *at ends on its last word.
std::string Description(const std::vector<std::string_view>& words,
                        size_t* at) {
  std::string_view first = words[*at];
  if (first.front() != '"') return std::string(first);
  if (first.size() >= 2 && first.back() == '"') {
    return std::string(first.substr(1, first.size() - 2));
  }
  std::string text(first.substr(1));
  while (*at + 1 < words.size()) {
    std::string_view word = words[++*at];
    text.push_back(' ');
    text.append(word);
    if (word.back() == '"') {
      text.pop_back();
      return text;
    }
  }
  if (!text.empty()) text.pop_back();
  return text;
}

}  // namespace

std::vector<std::string_view> SplitAreaWords(std::string_view line) {
  std::vector<std::string_view> words;
  size_t at = 0;
  while (at < line.size()) {
    size_t start = line.find_first_not_of(" \t", at);
    if (start == std::string_view::npos) break;
    size_t end = line.find_first_of(" \t", start);
    if (end == std::string_view::npos) end = line.size();
    words.push_back(line.substr(start, end - start));
    at = end;
  }
  return words;
}

char BaseTypeLetter(std::string_view word) {
  std::string upper = UpperText(word);
  if (upper == "SQUISH") return 'S';
  if (upper == "MSG") return 'M';
  if (upper == "JAM") return 'J';
  return 0;
}

void ParseAreaOptions(const std::vector<std::string_view>& words, size_t from,
                      bool defaults, AreaOptions* options, AreaNotes* notes) {
  for (size_t i = from; i < words.size(); ++i) {
    std::string_view word = words[i];
    std::string upper = UpperText(word);
    const bool has_value = i + 1 < words.size();
    if (IsLink(word)) continue;
    if (defaults && upper == "PASSTHROUGH") {
      options->passthrough = true;
    } else if (upper == "-PASS") {
      options->passthrough = true;
    } else if (upper == "-B" && has_value) {
      std::string_view value = words[++i];
      if (options->passthrough) continue;
      if (UpperText(value) == "PASSTHROUGH") {
        options->passthrough = true;
        continue;
      }
      options->typeGiven = true;
      options->type = BaseTypeLetter(value);
      if (options->type == 0) {
        notes->emplace_back(
            true, "Error reading type of message base - " + UpperText(value));
      }
    } else if (upper == "-A" && has_value) {
      options->akaText = std::string(words[++i]);
      FtnAddress scratch;
      if (!ParseAddress(options->akaText, &scratch)) {
        notes->emplace_back(false, "error converting address " +
                                       options->akaText + " (our aka)");
      }
    } else if (upper == "-D" && has_value) {
      ++i;
      options->description = Description(words, &i);
      options->descriptionGiven = true;
    } else if (IsOneOf(kWithValue, upper) && has_value) {
      ++i;
    } else if (IsOneOf(kFlags, upper) ||
               std::any_of(kGluedValue.begin(), kGluedValue.end(),
                           [&](std::string_view prefix) {
                             return upper.compare(0, prefix.size(), prefix) ==
                                    0;
                           })) {
      continue;
    } else {
      notes->emplace_back(false,
                          "Unknown option " + std::string(word) + " ignored");
    }
  }
}

}  // namespace kavel
