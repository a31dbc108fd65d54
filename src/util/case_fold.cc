#include "util/case_fold.h"

#include <cstdint>

namespace kavel {
namespace {

// Length of the UTF-8 character at text[pos], or 0 when the bytes there are
// not a valid, shortest-form encoding.
size_t Utf8CharLength(std::string_view text, size_t pos) {
  const auto b0 = static_cast<unsigned char>(text[pos]);
  if (b0 < 0x80) return 1;
  size_t length;
  uint32_t code;
  if (b0 >= 0xC2 && b0 <= 0xDF) {
    length = 2;
    code = b0 & 0x1F;
  } else if (b0 >= 0xE0 && b0 <= 0xEF) {
    length = 3;
    code = b0 & 0x0F;
  } else if (b0 >= 0xF0 && b0 <= 0xF4) {
    length = 4;
    code = b0 & 0x07;
  } else {
    return 0;
  }
  if (text.size() - pos < length) return 0;
  for (size_t i = 1; i < length; ++i) {
    const auto b = static_cast<unsigned char>(text[pos + i]);
    if ((b & 0xC0) != 0x80) return 0;
    code = (code << 6) | (b & 0x3F);
  }
  if (length == 3 && (code < 0x800 || (code >= 0xD800 && code <= 0xDFFF))) {
    return 0;
  }
  if (length == 4 && (code < 0x10000 || code > 0x10FFFF)) return 0;
  return length;
}

// Code point of a two-byte character starting at p.
uint32_t TwoByteCode(const char* p) {
  return (static_cast<uint32_t>(static_cast<unsigned char>(p[0]) & 0x1F) << 6) |
         (static_cast<unsigned char>(p[1]) & 0x3F);
}

void PutTwoByte(uint32_t code, char* p) {
  p[0] = static_cast<char>(0xC0 | (code >> 6));
  p[1] = static_cast<char>(0x80 | (code & 0x3F));
}

uint32_t UpperCyrillic(uint32_t code) {
  if (code >= 0x430 && code <= 0x44F) return code - 0x20;
  if (code >= 0x450 && code <= 0x45F) return code - 0x50;
  return code;
}

uint32_t LowerCyrillic(uint32_t code) {
  if (code >= 0x410 && code <= 0x42F) return code + 0x20;
  if (code >= 0x400 && code <= 0x40F) return code + 0x50;
  return code;
}

char UpperAscii(char c) { return c >= 'a' && c <= 'z' ? c - 32 : c; }
char LowerAscii(char c) { return c >= 'A' && c <= 'Z' ? c + 32 : c; }

bool HasHighByte(std::string_view text) {
  for (char c : text) {
    if (static_cast<unsigned char>(c) >= 0x80) return true;
  }
  return false;
}

// Folds a valid UTF-8 text in place; `to_upper` chooses the direction.
void FoldUtf8(std::string* text, bool to_upper) {
  for (size_t pos = 0; pos < text->size();) {
    const size_t length = Utf8CharLength(*text, pos);
    char* p = text->data() + pos;
    if (length == 1) {
      *p = to_upper ? UpperAscii(*p) : LowerAscii(*p);
    } else if (length == 2) {
      const uint32_t code = TwoByteCode(p);
      PutTwoByte(to_upper ? UpperCyrillic(code) : LowerCyrillic(code), p);
    }
    pos += length;
  }
}

}  // namespace

bool IsUtf8Name(std::string_view text) {
  bool high = false;
  for (size_t pos = 0; pos < text.size();) {
    const size_t length = Utf8CharLength(text, pos);
    if (length == 0) return false;
    high = high || length > 1;
    pos += length;
  }
  return high;
}

char UpperChar(char c) {
  auto byte = static_cast<unsigned char>(c);
  if (byte >= 'a' && byte <= 'z') return static_cast<char>(byte - 32);
  if (byte >= 160 && byte <= 175) return static_cast<char>(byte - 32);
  if (byte >= 224 && byte <= 239) return static_cast<char>(byte - 80);
  return c;
}

char LowerChar(char c) {
  auto byte = static_cast<unsigned char>(c);
  if (byte >= 'A' && byte <= 'Z') return static_cast<char>(byte + 32);
  if (byte >= 128 && byte <= 143) return static_cast<char>(byte + 32);
  if (byte >= 144 && byte <= 159) return static_cast<char>(byte + 80);
  return c;
}

// `text` folded by the rule it calls for; `to_upper` chooses the direction.
static std::string FoldText(std::string_view text, bool to_upper) {
  std::string out(text);
  if (IsUtf8Name(text)) {
    FoldUtf8(&out, to_upper);
  } else {
    for (char& c : out) c = to_upper ? UpperChar(c) : LowerChar(c);
  }
  return out;
}

std::string UpperText(std::string_view text) { return FoldText(text, true); }

std::string LowerText(std::string_view text) { return FoldText(text, false); }

bool EqualIgnoringCase(std::string_view a, std::string_view b) {
  if (a.size() != b.size()) return false;
  if (HasHighByte(a) || HasHighByte(b)) return UpperText(a) == UpperText(b);
  for (size_t i = 0; i < a.size(); ++i) {
    if (a[i] != b[i] && UpperAscii(a[i]) != UpperAscii(b[i])) return false;
  }
  return true;
}

bool MaskMatchesIgnoringCase(std::string_view text_in,
                             std::string_view mask_in) {
  const std::string text = UpperText(text_in);
  const std::string mask = UpperText(mask_in);
  // Greedy match; on a mismatch the last "*" takes one character more.
  size_t t = 0, m = 0;
  size_t star = std::string_view::npos, resume = 0;
  while (t < text.size()) {
    if (m < mask.size() && mask[m] == '*') {
      star = m++;
      resume = t;
    } else if (m < mask.size() && (mask[m] == '?' || mask[m] == text[t])) {
      ++m;
      ++t;
    } else if (star != std::string_view::npos) {
      m = star + 1;
      t = ++resume;
    } else {
      return false;
    }
  }
  while (m < mask.size() && mask[m] == '*') ++m;
  return m == mask.size();
}

size_t FindIgnoringCase(std::string_view text, std::string_view part) {
  if (part.size() > text.size()) return std::string_view::npos;
  for (size_t at = 0; at + part.size() <= text.size(); ++at) {
    size_t i = 0;
    while (i < part.size() && (text[at + i] == part[i] ||
                               UpperChar(text[at + i]) == UpperChar(part[i]))) {
      ++i;
    }
    if (i == part.size()) return at;
  }
  return std::string_view::npos;
}

size_t OtherCaseAt(std::string_view name, size_t pos, bool utf8,
                   std::string* other) {
  other->clear();
  if (!utf8) {
    const char c = name[pos];
    const char swapped = UpperChar(c) != c ? UpperChar(c) : LowerChar(c);
    if (swapped != c) other->assign(1, swapped);
    return 1;
  }
  size_t length = Utf8CharLength(name, pos);
  if (length == 0) length = 1;  // not reached for a valid UTF-8 name
  if (length == 1) {
    const char c = name[pos];
    const char swapped = UpperAscii(c) != c ? UpperAscii(c) : LowerAscii(c);
    if (swapped != c) other->assign(1, swapped);
  } else if (length == 2) {
    const uint32_t code = TwoByteCode(name.data() + pos);
    uint32_t swapped = UpperCyrillic(code);
    if (swapped == code) swapped = LowerCyrillic(code);
    if (swapped != code) {
      other->resize(2);
      PutTwoByte(swapped, other->data());
    }
  }
  return length;
}

}  // namespace kavel
