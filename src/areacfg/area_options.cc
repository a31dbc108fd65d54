#include "areacfg/area_options.h"

#include <algorithm>
#include <array>

#include "areacfg/area_files.h"
#include "driver/run_context.h"
#include "msgbase/ftn_address.h"
#include "util/text.h"

namespace kavel {
namespace {

// Options whose value word is skipped, and options without a value; upper
// case, as FirstWord delivers them.
constexpr std::array<std::string_view, 7> kSkipWithValue = {
    "-LR", "-LW", "-P", "-$M", "-DUPEHISTORY", "-DUPECHECK", "-G"};
constexpr std::array<std::string_view, 16> kSkipFlag = {
    "-SBADD",   "-SBIGN",  "-MANDATORY", "-NOPACK", "-KILLREAD", "-KEEPUNREAD",
    "-KEEPSB",  "-TINYSB", "-KILLSB",    "-MANUAL", "-DOSFILE",  "-H",
    "-NOPAUSE", "-CCOFF",  "-NOLINK",    "-DEBUG"};

template <size_t N>
bool IsOneOf(const std::array<std::string_view, N>& names,
             std::string_view word) {
  return std::find(names.begin(), names.end(), word) != names.end();
}

}  // namespace

std::string BaseTypeLetter(RunContext& ctx, std::string_view word) {
  std::string upper = UpperText(word);
  if (upper == "SQUISH") return "S";
  if (upper == "MSG") return "M";
  if (upper == "JAM") return "J";
  LogError(ctx, "Error reading type of message base - " + upper);
  return std::string();
}

std::string_view SkipQuotedText(std::string_view text) {
  size_t first = text.find('"');
  if (first == std::string_view::npos) return text;
  size_t second = text.find('"', first + 1);
  if (second == std::string_view::npos) return text;
  return text.substr(second + 1);
}

void ParseAreaOptions(RunContext& ctx, std::string_view text,
                      AreaOptions* options) {
  std::string_view rest = text;
  for (;;) {
    size_t start = rest.find_first_not_of(' ');
    if (start == std::string_view::npos) return;
    rest.remove_prefix(start);
    if (rest.find(' ') == std::string_view::npos) return;
    std::string option = FirstWord(rest);
    std::string_view after = AfterFirstWord(rest);
    if (option == "-A") {
      options->akaText = FirstWord(after);
      FtnAddress scratch;
      if (!ParseAddress(options->akaText, &scratch)) {
        LogInfo(ctx, "error converting address " + std::string(after) +
                         " (our aka)");
      }
      rest = AfterFirstWord(after);
    } else if (option == "-B") {
      std::string word = FirstWord(after);
      options->typeGiven = true;
      if (word == "PASSTHROUGH") {
        options->passthrough = true;
        options->typeLetter.clear();
      } else {
        options->passthrough = false;
        options->typeLetter = BaseTypeLetter(ctx, word);
      }
      rest = AfterFirstWord(after);
    } else if (option == "-D") {
      options->description = ExtractValue(rest);
      rest = SkipQuotedText(after);
    } else if (IsOneOf(kSkipWithValue, option)) {
      rest = AfterFirstWord(after);
    } else if (IsOneOf(kSkipFlag, option) || option.front() == '-') {
      // Options of newer tossers that this reader does not know are
      // skipped as single words, so a -b or -a after them is still read.
      rest = after;
    } else {
      return;  // the first link address (or any other word) ends the list
    }
  }
}

}  // namespace kavel
