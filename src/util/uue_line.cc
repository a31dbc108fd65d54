#include "util/uue_line.h"

namespace kavel {

void EncodeUueLine(const unsigned char* data, size_t n, std::string* line) {
  line->push_back(UueChar(static_cast<unsigned>(n)));
  for (size_t i = 0; i < n; i += 3) {
    const unsigned a = data[i];
    const unsigned b = i + 1 < n ? data[i + 1] : 0;
    const unsigned c = i + 2 < n ? data[i + 2] : 0;
    line->push_back(UueChar(a >> 2));
    line->push_back(UueChar((a << 4) | (b >> 4)));
    line->push_back(UueChar((b << 2) | (c >> 6)));
    line->push_back(UueChar(c));
  }
}

}  // namespace kavel
