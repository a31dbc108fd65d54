#include "msgbase/ftn_address.h"

#include <cstdint>
#include <string>

namespace kavel {

void ClearAddress(FtnAddress* address) { *address = EmptyAddress; }

std::string NthWord(int n, std::string_view text, std::string_view delimiters) {
  auto is_delimiter = [&](char c) {
    return delimiters.find(c) != std::string_view::npos;
  };
  int count = 0;
  size_t i = 0;
  while (i < text.size() && count < n) {
    while (i < text.size() && is_delimiter(text[i])) ++i;
    if (i >= text.size()) break;
    ++count;
    size_t start = i;
    while (i < text.size() && !is_delimiter(text[i])) ++i;
    if (count == n) return std::string(text.substr(start, i - start));
  }
  return std::string();
}

bool TextToInt16(std::string_view text, int16_t* value) {
  *value = 0;
  size_t i = 0;
  while (i < text.size() && text[i] == ' ') ++i;
  bool negative = false;
  if (i < text.size() && (text[i] == '+' || text[i] == '-')) {
    negative = text[i] == '-';
    ++i;
  }
  int base = 10;
  if (i < text.size() && text[i] == '$') {
    base = 16;
    ++i;
  }
  if (i >= text.size()) return true;  // malformed: 0
  // Accumulates with a cap so that any length of digits stays defined.
  constexpr int64_t kCap = int64_t{1} << 40;
  int64_t n = 0;
  bool too_large = false;
  for (; i < text.size(); ++i) {
    char c = text[i];
    int digit;
    if (c >= '0' && c <= '9') {
      digit = c - '0';
    } else if (base == 16 && c >= 'a' && c <= 'f') {
      digit = c - 'a' + 10;
    } else if (base == 16 && c >= 'A' && c <= 'F') {
      digit = c - 'A' + 10;
    } else {
      return true;  // malformed: 0
    }
    n = n * base + digit;
    if (n > kCap) {
      too_large = true;
      n = kCap;
    }
  }
  if (negative) n = -n;
  if (too_large || n < INT16_MIN || n > INT16_MAX) return false;
  *value = static_cast<int16_t>(n);
  return true;
}

namespace {

// Reads word n of `text` into *component; false when out of range.
bool Component(int n, std::string_view text, std::string_view delimiters,
               int16_t* component) {
  return TextToInt16(NthWord(n, text, delimiters), component);
}

// zone:net/node or zone:net/node.point of plain numbers of up to five
// digits (the form nearly every address takes), read in one pass into
// *address as the general reading below would read it. False, with
// *address untouched, for every other text; the general reading then
// decides.
bool ParsePlainAddress(std::string_view text, FtnAddress* address) {
  constexpr char kAfter[] = {':', '/', '.'};
  int32_t values[4] = {0, 0, 0, 0};
  size_t i = 0;
  int parts = 0;
  while (parts < 4) {
    const size_t start = i;
    int32_t value = 0;
    while (i < text.size() && i - start < 5 && text[i] >= '0' &&
           text[i] <= '9') {
      value = value * 10 + (text[i] - '0');
      ++i;
    }
    if (i == start || value > 32767) return false;
    values[parts++] = value;
    if (i == text.size()) break;
    if (parts == 4 || text[i] != kAfter[parts - 1]) return false;
    ++i;
  }
  if (parts < 3 || i != text.size()) return false;
  address->zone = static_cast<int16_t>(values[0]);
  address->net = static_cast<int16_t>(values[1]);
  address->node = static_cast<int16_t>(values[2]);
  address->point = static_cast<int16_t>(values[3]);
  return true;
}

}  // namespace

bool ParseAddress(std::string_view text, FtnAddress* address) {
  if (text.empty()) return false;
  if (text.front() == '/') text.remove_prefix(1);
  size_t at = text.find('@');
  if (at != std::string_view::npos) text = text.substr(0, at);
  if (text.empty()) return false;
  if (ParsePlainAddress(text, address)) return true;
  for (char c : text) {
    if (!((c >= '0' && c <= '9') || c == ':' || c == '/' || c == '.')) {
      return false;
    }
  }
  FtnAddress parsed = *address;
  bool has_colon = text.find(':') != std::string_view::npos;
  bool has_slash = text.find('/') != std::string_view::npos;
  bool ok = true;
  if (has_colon && has_slash) {
    ok = Component(1, text, ":/.", &parsed.zone) &&
         Component(2, text, ":/.", &parsed.net) &&
         Component(3, text, ":/.", &parsed.node) &&
         Component(4, text, ":/.", &parsed.point);
  } else if (has_colon) {
    // zone:net without a node names nothing this record keeps.
  } else if (has_slash) {
    ok = Component(1, text, "/", &parsed.net) &&
         Component(2, text, "/.", &parsed.node) &&
         Component(3, text, "/.", &parsed.point);
  } else if (text.front() == '.') {
    ok = TextToInt16(text.substr(1), &parsed.point);
  } else {
    ok = Component(1, text, ".", &parsed.node) &&
         Component(2, text, ".", &parsed.point);
  }
  if (!ok) return false;
  *address = parsed;
  return true;
}

std::string AddressToText3D(const FtnAddress& address) {
  return std::to_string(address.zone) + ":" + std::to_string(address.net) +
         "/" + std::to_string(address.node);
}

std::string AddressToText4D(const FtnAddress& address) {
  return AddressToText3D(address) + "." + std::to_string(address.point);
}

std::string AddressToText(const FtnAddress& address) {
  return address.point == 0 ? AddressToText3D(address)
                            : AddressToText4D(address);
}

int CompareAddresses(const FtnAddress& a, const FtnAddress& b) {
  const int16_t left[] = {a.zone, a.net, a.node, a.point};
  const int16_t right[] = {b.zone, b.net, b.node, b.point};
  for (int i = 0; i < 4; ++i) {
    if (left[i] < right[i]) return -1;
    if (left[i] > right[i]) return 1;
  }
  return 0;
}

}  // namespace kavel
