// The first CR (0x0D), or the first CR or LF, of a stretch of bytes,
// looked for sixteen bytes at a time inline: text lines are short, and a
// library call per line costs more than the search itself.
#ifndef KAVEL_UTIL_FIND_CR_H_
#define KAVEL_UTIL_FIND_CR_H_

#include <cstddef>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

namespace kavel {

// Offset of the first CR in bytes[from, to), or `to`.
inline size_t FindCr(const char* bytes, size_t from, size_t to) {
#if defined(__SSE2__)
  const __m128i cr = _mm_set1_epi8('\r');
  for (; from < to && to - from >= 16; from += 16) {
    const __m128i block =
        _mm_loadu_si128(reinterpret_cast<const __m128i*>(bytes + from));
    const unsigned mask =
        static_cast<unsigned>(_mm_movemask_epi8(_mm_cmpeq_epi8(block, cr)));
    if (mask != 0) return from + static_cast<size_t>(__builtin_ctz(mask));
  }
#endif
  while (from < to && bytes[from] != '\r') ++from;
  return from;
}

// Offset of the first CR or LF in bytes[from, to), or `to`: both are
// looked for in one pass.
inline size_t FindCrOrLf(const char* bytes, size_t from, size_t to) {
#if defined(__SSE2__)
  const __m128i cr = _mm_set1_epi8('\r');
  const __m128i lf = _mm_set1_epi8('\n');
  for (; from < to && to - from >= 16; from += 16) {
    const __m128i block =
        _mm_loadu_si128(reinterpret_cast<const __m128i*>(bytes + from));
    const unsigned mask = static_cast<unsigned>(_mm_movemask_epi8(
        _mm_or_si128(_mm_cmpeq_epi8(block, cr), _mm_cmpeq_epi8(block, lf))));
    if (mask != 0) return from + static_cast<size_t>(__builtin_ctz(mask));
  }
#endif
  while (from < to && bytes[from] != '\r' && bytes[from] != '\n') ++from;
  return from;
}

}  // namespace kavel

#endif  // KAVEL_UTIL_FIND_CR_H_
