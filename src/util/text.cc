// Text, number and path helpers.
#include "util/text.h"

#include <limits>

namespace kavel {
namespace {

bool IsPathSeparator(char c) { return c == '\\' || c == '/'; }

std::string_view SkipBlanks(std::string_view text) {
  size_t i = 0;
  while (i < text.size() && text[i] == ' ') ++i;
  return text.substr(i);
}

// The value of a flag line: yes when it begins with Y.
bool FlagValue(std::string_view keyword, std::string_view line) {
  std::string value = RestOfLine(line);
  if (value.empty() || UpperText(value) == UpperText(keyword)) return false;
  return UpperChar(value[0]) == 'Y';
}

}  // namespace

std::string ShortString(std::string_view text) {
  return std::string(text.substr(0, kShortStringMax));
}

void TrimLeadingBlanks(std::string* text) {
  size_t i = 0;
  while (i < text->size() && (*text)[i] == ' ') ++i;
  text->erase(0, i);
}

std::string FirstWord(std::string_view line) {
  std::string_view rest = SkipBlanks(line);
  return UpperText(rest.substr(0, rest.find(' ')));
}

std::string RestOfLine(std::string_view line) {
  std::string_view rest = SkipBlanks(line);
  size_t blank = rest.find(' ');
  if (blank == std::string_view::npos) return std::string(rest);
  return std::string(SkipBlanks(rest.substr(blank + 1)));
}

std::string ExtractValue(std::string_view line) {
  size_t quote = line.find('"');
  if (quote != std::string_view::npos) {
    std::string_view value = line.substr(quote + 1);
    return std::string(value.substr(0, value.find('"')));
  }
  std::string_view rest = SkipBlanks(line);
  size_t blank = rest.find(' ');
  if (blank == std::string_view::npos) return std::string(rest);
  return std::string(SkipBlanks(rest.substr(blank + 1)));
}

bool IsSignificantLine(std::string_view line) {
  if (line.empty()) return true;
  if (line[0] == ';' || line[0] == '#') return false;
  return !(line.size() >= 2 && line[0] == '\\' && line[1] == '\\');
}

bool LineHasKeyword(std::string_view keyword, std::string_view line) {
  std::string_view rest = SkipBlanks(line);
  size_t blank = rest.find(' ');
  if (blank == std::string_view::npos) return false;
  return UpperText(rest.substr(0, blank)) == UpperText(keyword);
}

bool ReadTextSetting(std::string_view keyword, std::string* value,
                     std::string_view line) {
  if (!LineHasKeyword(keyword, line)) return false;
  *value = ExtractValue(line);
  return true;
}

bool ReadFlagSetting(std::string_view keyword, bool* flag,
                     std::string_view line) {
  if (!LineHasKeyword(keyword, line)) return false;
  *flag = FlagValue(keyword, line);
  return true;
}

bool ReadPathSetting(std::string_view keyword, std::string* path,
                     std::string_view line) {
  if (!LineHasKeyword(keyword, line)) return false;
  std::string value = ExtractValue(line);
  if (value.empty() || !IsPathSeparator(value.back())) value += '\\';
  *path = ShortString(value);
  return true;
}

std::string IntToText(int64_t n) { return std::to_string(n); }

int32_t TextToInt(std::string_view text) {
  std::string_view rest = SkipBlanks(text);
  bool negative = false;
  if (!rest.empty() && (rest[0] == '+' || rest[0] == '-')) {
    negative = rest[0] == '-';
    rest.remove_prefix(1);
  }
  int base = 10;
  if (!rest.empty() && rest[0] == '$') {
    base = 16;
    rest.remove_prefix(1);
  }
  if (rest.empty()) return 0;
  const int64_t limit =
      static_cast<int64_t>(std::numeric_limits<int32_t>::max()) +
      (negative ? 1 : 0);
  int64_t value = 0;
  for (char c : rest) {
    int digit;
    if (c >= '0' && c <= '9') {
      digit = c - '0';
    } else if (base == 16 && c >= 'a' && c <= 'f') {
      digit = c - 'a' + 10;
    } else if (base == 16 && c >= 'A' && c <= 'F') {
      digit = c - 'A' + 10;
    } else {
      return 0;
    }
    value = value * base + digit;
    if (value > limit) return 0;
  }
  return static_cast<int32_t>(negative ? -value : value);
}

std::string PadWithZeros(std::string_view text, size_t width) {
  std::string out(text);
  if (out.size() < width) out.insert(0, width - out.size(), '0');
  return ShortString(out);
}

std::string FileNameOf(std::string_view path) {
  size_t separator = path.find_last_of("\\/");
  if (separator == std::string_view::npos) return std::string(path);
  return std::string(path.substr(separator + 1));
}

std::string DirectoryOf(std::string_view path) {
  size_t end = path.find_last_of("\\/:");
  if (end == std::string_view::npos) return std::string();
  return std::string(path.substr(0, end + 1));
}

std::string ParentDirectoryOf(std::string_view dir) {
  if (!dir.empty() && IsPathSeparator(dir.back())) dir.remove_suffix(1);
  return DirectoryOf(dir);
}

std::string ExtensionOf(std::string_view name) {
  size_t dot = name.find('.');
  if (dot == std::string_view::npos) return std::string();
  return std::string(name.substr(dot + 1, 3));
}

}  // namespace kavel
