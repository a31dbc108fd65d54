#include "decoding/unique_name.h"

#include "util/text.h"

namespace kavel {

void SplitFileName(std::string_view name, std::string* stem, std::string* ext) {
  const size_t dot = name.rfind('.');
  if (dot == std::string_view::npos || dot == 0) {
    *stem = std::string(name);
    ext->clear();
    return;
  }
  *stem = std::string(name.substr(0, dot));
  *ext = std::string(name.substr(dot + 1));
}

std::string NumberedFileName(std::string_view stem, int64_t n,
                             std::string_view ext) {
  std::string name(stem);
  if (n > 0) name += IntToText(n);
  if (!ext.empty()) {
    name += '.';
    name += ext;
  }
  return name;
}

std::string UniqueNames::Next(std::string_view dir, std::string_view stem,
                              std::string_view ext, const ExistsFn& exists) {
  std::string key = UpperText(dir);
  key += '\0';
  key += UpperText(stem);
  key += '\0';
  key += UpperText(ext);
  int64_t& n = next_number_[key];
  for (;; ++n) {
    std::string candidate(dir);
    candidate += NumberedFileName(stem, n, ext);
    if (!exists(candidate)) {
      ++n;
      return candidate;
    }
  }
}

}  // namespace kavel
