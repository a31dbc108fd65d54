#include "decoding/file_name_safety.h"

namespace kavel {

bool IsSafeFileName(std::string_view name) {
  if (name.empty() || name == "." || name == "..") return false;
  // A name made only of dots names a parent on some systems.
  if (name.find_first_not_of('.') == std::string_view::npos) return false;
  for (char c : name) {
    const unsigned char u = static_cast<unsigned char>(c);
    if (u < 32 || c == '\\' || c == '/' || c == ':' || c == '*' || c == '?') {
      return false;
    }
  }
  return true;
}

bool IsSafeAreaTag(std::string_view tag) { return IsSafeFileName(tag); }

}  // namespace kavel
