// Little-endian encoding of the fixed-width fields of the on-disk records.
// Records are always encoded and decoded field by field through these
// helpers; no struct is ever copied to or from disk.
#ifndef KAVEL_UTIL_CODING_H_
#define KAVEL_UTIL_CODING_H_

#include <cstddef>
#include <cstdint>
#include <cstring>
#include <string>
#include <string_view>

namespace kavel {

inline void EncodeFixed16(uint8_t* dst, uint16_t value) {
  dst[0] = static_cast<uint8_t>(value);
  dst[1] = static_cast<uint8_t>(value >> 8);
}

inline void EncodeFixed32(uint8_t* dst, uint32_t value) {
  dst[0] = static_cast<uint8_t>(value);
  dst[1] = static_cast<uint8_t>(value >> 8);
  dst[2] = static_cast<uint8_t>(value >> 16);
  dst[3] = static_cast<uint8_t>(value >> 24);
}

inline uint16_t DecodeFixed16(const uint8_t* src) {
  return static_cast<uint16_t>(src[0] | (src[1] << 8));
}

inline uint32_t DecodeFixed32(const uint8_t* src) {
  return static_cast<uint32_t>(src[0]) | (static_cast<uint32_t>(src[1]) << 8) |
         (static_cast<uint32_t>(src[2]) << 16) |
         (static_cast<uint32_t>(src[3]) << 24);
}

// Writes `text` into a fixed field of `width` bytes: at most width - 1
// characters, then zero bytes up to the width (the field always holds a
// terminator).
inline void EncodeFixedString(uint8_t* dst, size_t width, std::string_view text) {
  size_t n = text.size() < width ? text.size() : (width ? width - 1 : 0);
  std::memcpy(dst, text.data(), n);
  std::memset(dst + n, 0, width - n);
}

// Writes `text` into a field of `width` bytes that need not hold a
// terminator when the text fills it (FTN name fields of some formats).
inline void EncodeFixedStringFull(uint8_t* dst, size_t width,
                                  std::string_view text) {
  size_t n = text.size() < width ? text.size() : width;
  std::memcpy(dst, text.data(), n);
  std::memset(dst + n, 0, width - n);
}

// Reads a zero-terminated text from a fixed field of `width` bytes; stops
// at the first zero byte or at the width, whichever comes first. Bytes
// after the terminator are ignored.
inline std::string DecodeFixedString(const uint8_t* src, size_t width) {
  size_t n = 0;
  while (n < width && src[n] != 0) ++n;
  return std::string(reinterpret_cast<const char*>(src), n);
}

// Appending forms for building records in a std::string.
inline void PutFixed16(std::string* dst, uint16_t value) {
  uint8_t buf[2];
  EncodeFixed16(buf, value);
  dst->append(reinterpret_cast<char*>(buf), 2);
}

inline void PutFixed32(std::string* dst, uint32_t value) {
  uint8_t buf[4];
  EncodeFixed32(buf, value);
  dst->append(reinterpret_cast<char*>(buf), 4);
}

}  // namespace kavel

#endif  // KAVEL_UTIL_CODING_H_
