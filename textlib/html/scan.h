#pragma once
// Scans of UTF-16 text for one of two units. Text runs, quoted values and the formatter's
// output are most of what passes through here, so where the processor has SSE2 eight units
// are compared at once; the plain loop finishes the tail and is the reference.
#include <bit>
#include <cstddef>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

namespace textlib::html_scan {

// The first position from `from` on whose unit is a or b, or n.
inline size_t FindEither(const char16_t* s, size_t from, size_t n, char16_t a, char16_t b) {
  size_t i = from;
#if defined(__SSE2__)
  const __m128i va = _mm_set1_epi16(static_cast<short>(a));
  const __m128i vb = _mm_set1_epi16(static_cast<short>(b));
  for (; i + 8 <= n; i += 8) {
    const __m128i v = _mm_loadu_si128(reinterpret_cast<const __m128i*>(s + i));
    const unsigned mask = static_cast<unsigned>(
        _mm_movemask_epi8(_mm_or_si128(_mm_cmpeq_epi16(v, va), _mm_cmpeq_epi16(v, vb))));
    if (mask != 0) return i + static_cast<size_t>(std::countr_zero(mask)) / 2;
  }
#endif
  while (i < n && s[i] != a && s[i] != b) ++i;
  return i;
}

}  // namespace textlib::html_scan
