#include "areacfg/config_tree.h"

#include <map>
#include <memory>
#include <set>
#include <vector>

#include "context/run_context.h"
#include "platform/platform.h"
#include "util/text.h"

namespace kavel {
namespace {

// An expanded line may grow to this size or to twice its raw size,
// whichever is more; variables that feed on themselves stop here.
constexpr size_t kMinExpansionLimit = 64u << 10;

bool IsBlank(char c) { return c == ' ' || c == '\t'; }

std::string_view Trimmed(std::string_view text) {
  while (!text.empty() && IsBlank(text.front())) text.remove_prefix(1);
  while (!text.empty() && IsBlank(text.back())) text.remove_suffix(1);
  return text;
}

bool StartsWithIgnoringCase(std::string_view text, std::string_view prefix) {
  return text.size() >= prefix.size() &&
         EqualIgnoringCase(text.substr(0, prefix.size()), prefix);
}

// Reads a whole file of the tree; false when it cannot be read.
bool LoadFile(std::string_view path, uint64_t size, std::string* bytes) {
  std::unique_ptr<PlatformFile> file =
      OpenPlatformFile(path, FileMode::kOpenRead, nullptr);
  if (!file) return false;
  bytes->assign(size, '\0');
  size_t got = 0;
  if (size != 0 && !file->Read(bytes->data(), size, &got)) return false;
  bytes->resize(got);
  return true;
}

// Physical lines: LF, CR LF and a lone CR end a line.
std::vector<std::string_view> SplitLines(std::string_view bytes) {
  std::vector<std::string_view> lines;
  size_t start = 0;
  for (size_t i = 0; i < bytes.size(); ++i) {
    if (bytes[i] != '\n' && bytes[i] != '\r') continue;
    lines.push_back(bytes.substr(start, i - start));
    if (bytes[i] == '\r' && i + 1 < bytes.size() && bytes[i + 1] == '\n') ++i;
    start = i + 1;
  }
  if (start < bytes.size()) lines.push_back(bytes.substr(start));
  return lines;
}

// One open if/ifdef/ifndef level.
struct Condition {
  bool value = false;  // the branch being read is taken
  bool taken = false;  // some branch of this level was taken (or none may)
  bool inElse = false;
  TreePlace place;
};

class TreeReader {
 public:
  TreeReader(RunContext& ctx, TreeSyntax syntax, const TreeLineSink& sink)
      : ctx_(ctx), syntax_(syntax), sink_(sink) {}

  bool ReadMain(std::string_view path) {
    FileFacts facts;
    std::string bytes;
    if (!ExamineFile(path, &facts) || !facts.regular ||
        facts.size > kMaxTreeFileSize || !LoadFile(path, facts.size, &bytes)) {
      return false;
    }
    seen_.insert(facts.canonical);
    const std::string file(path);
    size_t slash = file.find_last_of("/\\");
    variables_["OS"] = "UNIX";
    variables_["MODULE"] = "kavel";
    variables_["CONFIGDIR"] =
        slash == std::string::npos ? "./" : file.substr(0, slash + 1);
    ReadLines(file, bytes, 0);
    if (!conditions_.empty()) {
      Report(true, "'if' without 'endif'", conditions_.front().place);
    }
    return true;
  }

 private:
  void Report(bool error, std::string_view what, const TreePlace& place) {
    std::string line = std::string(what) + PlaceText(place);
    if (error) {
      LogError(ctx_, line);
    } else {
      LogInfo(ctx_, line);
    }
  }

  void ReadLines(const std::string& file, const std::string& bytes, int depth) {
    std::vector<std::string_view> lines = SplitLines(bytes);
    for (size_t i = 0; i < lines.size(); ++i) {
      TreePlace place{file, static_cast<int>(i + 1)};
      if (syntax_ == TreeSyntax::kSquish) {
        SquishLine(lines[i], place, depth);
        continue;
      }
      std::string line(lines[i]);
      while (line.size() >= 2 && line.compare(line.size() - 2, 2, " \\") == 0 &&
             i + 1 < lines.size()) {
        line.pop_back();
        line.append(lines[++i]);
      }
      FidoconfigLine(line, place, depth);
    }
  }

  void SquishLine(std::string_view line, const TreePlace& place, int depth) {
    line = Trimmed(line.substr(0, line.find(';')));
    if (line.empty()) return;
    size_t end = line.find_first_of(" \t");
    if (end != std::string_view::npos &&
        EqualIgnoringCase(line.substr(0, end), "include")) {
      Include(Trimmed(line.substr(end)), place, depth);
      return;
    }
    sink_(line, place);
  }

  // Comment stripping as the tossers do it: quotes are not looked at.
  std::string_view StripComment(std::string_view line) const {
    line = Trimmed(line);
    if (line.empty() || line.front() == commentChar_) return {};
    for (size_t i = 1; i < line.size(); ++i) {
      if (line[i] == commentChar_ && IsBlank(line[i - 1]) &&
          (i + 1 == line.size() || IsBlank(line[i + 1]))) {
        return Trimmed(line.substr(0, i));
      }
    }
    return line;
  }

  bool Active() const {
    for (const Condition& c : conditions_) {
      if (!c.value) return false;
    }
    return true;
  }

  void FidoconfigLine(std::string_view raw, const TreePlace& place, int depth) {
    std::string_view line = StripComment(raw);
    if (line.empty() || ConditionLine(line, place)) return;
    if (!Active()) return;
    size_t end = line.find_first_of(" \t");
    std::string_view keyword = line.substr(0, end);
    if (end != std::string_view::npos &&
        EqualIgnoringCase(keyword, "commentChar")) {
      std::string_view value = Trimmed(line.substr(end));
      if (value.size() == 1 &&
          std::string_view("!#$%;").find(value[0]) != std::string_view::npos) {
        commentChar_ = value[0];
      } else {
        Report(false, "commentChar must be one of ! # $ % ;, line ignored",
               place);
      }
      return;
    }
    std::string expanded;
    if (!Expand(line, place, &expanded)) return;
    if (StartsWithIgnoringCase(expanded, "include")) {
      Include(Trimmed(std::string_view(expanded).substr(7)), place, depth);
    } else if (StartsWithIgnoringCase(expanded, "set ")) {
      Set(std::string_view(expanded).substr(4), place);
    } else {
      std::string_view text = Trimmed(expanded);
      if (!text.empty()) sink_(text, place);
    }
  }

  void Set(std::string_view text, const TreePlace& place) {
    size_t equals = text.find('=');
    if (equals == std::string_view::npos) {
      Report(true, "'set' without '=', line skipped", place);
      return;
    }
    std::string name = UpperText(Trimmed(text.substr(0, equals)));
    std::string_view value = Trimmed(text.substr(equals + 1));
    if (!value.empty() && value.front() == '"') {
      size_t close = 1;
      while (close < value.size() &&
             (value[close] != '"' || value[close - 1] == '\\')) {
        ++close;
      }
      value = value.substr(1, close - 1);
    }
    if (value.empty()) {
      variables_.erase(name);
    } else {
      variables_[name] = std::string(value);
    }
  }

  // The value of a variable: set variables (any case) first, then the
  // environment (exact case).
  bool Lookup(std::string_view name, std::string* value) const {
    auto found = variables_.find(UpperText(name));
    if (found != variables_.end()) {
      *value = found->second;
      return true;
    }
    *value = GetEnvironmentVariable(name);
    return !value->empty();
  }

  bool Expand(std::string_view line, const TreePlace& place, std::string* out) {
    const size_t limit = std::max(kMinExpansionLimit, 2 * line.size());
    bool undefined = false, command = false;
    out->clear();
    for (size_t i = 0; i < line.size(); ++i) {
      const char c = line[i];
      if (c == '[') {
        size_t close = line.find(']', i + 1);
        if (close == std::string_view::npos) {
          out->append(line.substr(i));
          break;
        }
        std::string_view name = line.substr(i + 1, close - i - 1);
        std::string value;
        if (name.size() == 1 && (std::string_view("[`\"'").find(name[0]) !=
                                     std::string_view::npos ||
                                 name[0] == commentChar_)) {
          out->push_back(name[0]);
        } else if (Lookup(name, &value)) {
          out->append(value);
        } else {
          undefined = true;
        }
        i = close;
      } else if (c == '`' && line.find('`', i + 1) != std::string_view::npos) {
        command = true;
        i = line.find('`', i + 1);
      } else {
        out->push_back(c);
      }
      if (out->size() > limit) {
        Report(true, "Line too long after expansion, skipped", place);
        return false;
      }
    }
    if (command) Report(false, "Command in backticks not run", place);
    if (undefined)
      Report(false, "Undefined variable expanded to nothing", place);
    return true;
  }

  // Handles the line when it is one of the condition keywords (in any
  // branch, so that nesting stays right).
  bool ConditionLine(std::string_view line, const TreePlace& place) {
    const bool active = Active();
    if (StartsWithIgnoringCase(line, "if ")) {
      Condition c;
      c.place = place;
      c.taken = true;
      if (active && Evaluate(line.substr(3), place, &c.value)) {
        c.taken = c.value;
      }
      conditions_.push_back(c);
      return true;
    }
    const bool ifdef = StartsWithIgnoringCase(line, "ifdef");
    const bool ifndef = StartsWithIgnoringCase(line, "ifndef");
    if ((ifdef && (line.size() == 5 || line[5] == ' ')) ||
        (ifndef && (line.size() == 6 || line[6] == ' '))) {
      Condition c;
      c.place = place;
      c.taken = true;
      if (active) {
        std::string name;
        if (!Expand(Trimmed(line.substr(ifdef ? 5 : 6)), place, &name)) {
          name.clear();
        }
        if (name.empty()) {
          Report(true, "'ifdef' or 'ifndef' without a name, line skipped",
                 place);
        } else {
          std::string value;
          c.value = Lookup(name, &value) == ifdef;
          c.taken = c.value;
        }
      }
      conditions_.push_back(c);
      return true;
    }
    const bool elseif = StartsWithIgnoringCase(line, "elseif ");
    if (elseif || StartsWithIgnoringCase(line, "elif ")) {
      if (conditions_.empty() || conditions_.back().inElse) {
        Report(true, "Misplaced 'elseif', line skipped", place);
        return true;
      }
      const Condition c = conditions_.back();
      conditions_.pop_back();
      const bool outer = Active();
      conditions_.push_back(c);
      Condition& top = conditions_.back();
      top.value = false;
      if (!top.taken && outer) {
        bool value = false;
        if (Evaluate(line.substr(elseif ? 7 : 5), place, &value)) {
          top.value = value;
          top.taken = value;
        } else {
          top.taken = true;
        }
      }
      return true;
    }
    if (StartsWithIgnoringCase(line, "else")) {
      if (conditions_.empty() || conditions_.back().inElse) {
        Report(true, "Misplaced 'else', line skipped", place);
        return true;
      }
      Condition& top = conditions_.back();
      top.value = !top.taken;
      top.taken = true;
      top.inElse = true;
      return true;
    }
    if (StartsWithIgnoringCase(line, "endif")) {
      if (conditions_.empty()) {
        Report(true, "Misplaced 'endif', line skipped", place);
      } else {
        conditions_.pop_back();
      }
      return true;
    }
    return false;
  }

  // "[not ]LEFT OP RIGHT" with OP the first of ==, !=, =~, !~ outside
  // double quotes. The mask operators answer as the tossers' reader does:
  // =~ is true when the mask does NOT match.
  bool Evaluate(std::string_view text, const TreePlace& place, bool* value) {
    std::string expanded;
    if (!Expand(text, place, &expanded)) return false;
    std::string_view expr = Trimmed(expanded);
    bool negate = false;
    if (StartsWithIgnoringCase(expr, "not ")) {
      negate = true;
      expr = Trimmed(expr.substr(4));
    }
    bool quoted = false;
    size_t at = 0;
    for (; at + 1 < expr.size(); ++at) {
      if (expr[at] == '"') quoted = !quoted;
      if (quoted) continue;
      std::string_view op = expr.substr(at, 2);
      if (op == "==" || op == "!=" || op == "=~" || op == "!~") break;
    }
    if (at + 1 >= expr.size()) {
      Report(true, "Bad 'if' expression, line skipped", place);
      return false;
    }
    const char first = expr[at], second = expr[at + 1];
    std::string_view left = Trimmed(expr.substr(0, at));
    std::string_view right = Trimmed(expr.substr(at + 2));
    bool result;
    if (second == '=') {
      result = EqualIgnoringCase(left, right) == (first == '=');
    } else {
      Report(false,
             "Mask comparison read as the tossers read it (=~ true when the "
             "mask does not match)",
             place);
      result = MaskMatchesIgnoringCase(left, right) == (first == '!');
    }
    *value = result != negate;
    return true;
  }

  void Include(std::string_view name, const TreePlace& place, int depth) {
    const std::string file(name);
    std::string why;
    FileFacts facts;
    std::string bytes;
    if (depth + 1 > kMaxIncludeDepth) {
      why = " nested deeper than 10 includes";
    } else if (file.empty() || !ExamineFile(file, &facts)) {
      why = " not found";
    } else if (!facts.regular) {
      why = " is not a regular file";
    } else if (facts.size > kMaxTreeFileSize) {
      why = " is larger than 16 MB";
    } else if (!seen_.insert(facts.canonical).second) {
      why = " is included a second time";
    } else if (!LoadFile(file, facts.size, &bytes)) {
      why = " cannot be read";
    }
    if (!why.empty()) {
      Report(true, "Include file " + file + why + ", skipped", place);
      return;
    }
    ReadLines(file, bytes, depth + 1);
  }

  RunContext& ctx_;
  const TreeSyntax syntax_;
  const TreeLineSink& sink_;
  std::vector<Condition> conditions_;
  std::map<std::string, std::string> variables_;  // upper-cased names
  char commentChar_ = '#';
  std::set<std::string> seen_;  // canonical paths read so far
};

}  // namespace

std::string PlaceText(const TreePlace& place) {
  return " in " + place.file + " line " + IntToText(place.line);
}

bool ReadConfigTree(RunContext& ctx, TreeSyntax syntax, std::string_view path,
                    const TreeLineSink& sink) {
  TreeReader reader(ctx, syntax, sink);
  return reader.ReadMain(path);
}

}  // namespace kavel
