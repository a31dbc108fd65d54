// A tosser's configuration tree read line by line: the main file and the
// files it includes, in reading order.
//
// Fidoconfig syntax: a line ends at LF (CR LF and a lone CR end it too); a
// line whose last two characters are a blank and a backslash goes on with
// the next one; the comment character (commentChar, "#" at the start)
// makes a comment of the whole line when it comes first, and of the rest
// of the line when it stands between blanks; "include", "set", "if",
// "ifdef", "ifndef", "elseif"/"elif", "else" and "endif" are handled here;
// every other line is given "[NAME]" expansion (set variables, then the
// environment) and handed on. Text between two backticks is never run: it
// expands to nothing and the line is reported.
//
// Squish syntax: ";" ends a line anywhere; "Include" lines are followed;
// every other line is handed on as it is.
//
// An include is skipped, with an error line naming it, when it is missing,
// not a regular file, larger than 16 MB, already read in this tree (by its
// canonical path) or nested deeper than 10 includes. A relative include name
// is taken from the current directory.
//
// No report ever holds text of the tree (it holds passwords): reports name
// the file and the line number.
#ifndef KAVEL_AREACFG_CONFIG_TREE_H_
#define KAVEL_AREACFG_CONFIG_TREE_H_

#include <functional>
#include <string>
#include <string_view>

namespace kavel {

struct RunContext;

// Where a line of the tree starts.
struct TreePlace {
  std::string file;  // as the settings or the include line name it
  int line = 0;      // 1 for the first line
};

// " in <file> line <n>", the tail of every report about the tree.
std::string PlaceText(const TreePlace& place);

enum class TreeSyntax { kFidoconfig, kSquish };

// Receives every line that reaches the keyword parser: leading and trailing
// blanks and tabs removed, never empty.
using TreeLineSink =
    std::function<void(std::string_view line, const TreePlace& place)>;

constexpr int kMaxIncludeDepth = 10;
constexpr uint64_t kMaxTreeFileSize = 16u << 20;

// Reads the tree whose main file is `path`. Answers false, having read
// nothing, when the main file is missing, not a regular file, larger than
// 16 MB or unreadable.
bool ReadConfigTree(RunContext& ctx, TreeSyntax syntax, std::string_view path,
                    const TreeLineSink& sink);

}  // namespace kavel

#endif  // KAVEL_AREACFG_CONFIG_TREE_H_
