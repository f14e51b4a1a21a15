#include "imaging/view/bgrx_halftone.h"

#include <cstring>
#include <vector>

#include "imaging/soft/halftone_axis.h"

#if defined(__SSE2__) || defined(_M_X64)
#include <emmintrin.h>
#define RAVELO_HALFTONE_SSE2 1
#endif
// GCC and Clang build a second column pass for AVX2 and pick it when the processor has it.
#if defined(RAVELO_HALFTONE_SSE2) && defined(__GNUC__) && defined(__x86_64__)
#include <immintrin.h>
#define RAVELO_HALFTONE_AVX2 1
#endif

namespace ravelo::view {

#if defined(RAVELO_HALFTONE_SSE2)
namespace {

using halftone::Axis;
using halftone::Divider;
using halftone::Span;

// The weighted column sums of one view row: the first and last source rows by their
// shares, the rows between them whole. 16-bit lanes hold every sum since the caller
// keeps the vertical total at or below 257.
void SumColumns(uint16_t* acc, const SurfaceView& src, const Span& s, uint32_t full, size_t n) {
  const uint8_t* first = src.Row(s.first);
  const uint8_t* last = src.Row(s.last);
  const __m128i zero = _mm_setzero_si128();
  const __m128i wFirst = _mm_set1_epi16(static_cast<short>(s.wFirst));
  const __m128i wFull = _mm_set1_epi16(static_cast<short>(full));
  const __m128i wLast = _mm_set1_epi16(static_cast<short>(s.wLast));
  const bool one = s.first == s.last;
  size_t k = 0;
  for (; k + 16 <= n; k += 16) {
    __m128i v = _mm_loadu_si128(reinterpret_cast<const __m128i*>(first + k));
    __m128i lo = _mm_mullo_epi16(_mm_unpacklo_epi8(v, zero), wFirst);
    __m128i hi = _mm_mullo_epi16(_mm_unpackhi_epi8(v, zero), wFirst);
    if (!one) {
      __m128i midLo = zero;
      __m128i midHi = zero;
      for (int32_t j = s.first + 1; j < s.last; ++j) {
        v = _mm_loadu_si128(reinterpret_cast<const __m128i*>(src.Row(j) + k));
        midLo = _mm_add_epi16(midLo, _mm_unpacklo_epi8(v, zero));
        midHi = _mm_add_epi16(midHi, _mm_unpackhi_epi8(v, zero));
      }
      v = _mm_loadu_si128(reinterpret_cast<const __m128i*>(last + k));
      lo = _mm_add_epi16(lo, _mm_add_epi16(_mm_mullo_epi16(midLo, wFull),
                                           _mm_mullo_epi16(_mm_unpacklo_epi8(v, zero), wLast)));
      hi = _mm_add_epi16(hi, _mm_add_epi16(_mm_mullo_epi16(midHi, wFull),
                                           _mm_mullo_epi16(_mm_unpackhi_epi8(v, zero), wLast)));
    }
    _mm_storeu_si128(reinterpret_cast<__m128i*>(acc + k), lo);
    _mm_storeu_si128(reinterpret_cast<__m128i*>(acc + k + 8), hi);
  }
  for (; k < n; ++k) {
    uint32_t sum = s.wFirst * first[k];
    if (!one) {
      uint32_t mid = 0;
      for (int32_t j = s.first + 1; j < s.last; ++j) mid += src.Row(j)[k];
      sum += full * mid + s.wLast * last[k];
    }
    acc[k] = static_cast<uint16_t>(sum);
  }
}

#if defined(RAVELO_HALFTONE_AVX2)
// Sixteen bytes widened to 16 bits, in order.
__attribute__((target("avx2"))) inline __m256i Widen(const uint8_t* p) {
  return _mm256_cvtepu8_epi16(_mm_loadu_si128(reinterpret_cast<const __m128i*>(p)));
}

// SumColumns 32 bytes at a time.
__attribute__((target("avx2"))) void SumColumnsAvx2(uint16_t* acc, const SurfaceView& src, const Span& s,
                                                     uint32_t full, size_t n) {
  const uint8_t* first = src.Row(s.first);
  const uint8_t* last = src.Row(s.last);
  const __m256i wFirst = _mm256_set1_epi16(static_cast<short>(s.wFirst));
  const __m256i wFull = _mm256_set1_epi16(static_cast<short>(full));
  const __m256i wLast = _mm256_set1_epi16(static_cast<short>(s.wLast));
  const bool one = s.first == s.last;
  size_t k = 0;
  for (; k + 32 <= n; k += 32) {
    __m256i lo = _mm256_mullo_epi16(Widen(first + k), wFirst);
    __m256i hi = _mm256_mullo_epi16(Widen(first + k + 16), wFirst);
    if (!one) {
      __m256i midLo = _mm256_setzero_si256();
      __m256i midHi = _mm256_setzero_si256();
      for (int32_t j = s.first + 1; j < s.last; ++j) {
        const uint8_t* r = src.Row(j) + k;
        midLo = _mm256_add_epi16(midLo, Widen(r));
        midHi = _mm256_add_epi16(midHi, Widen(r + 16));
      }
      lo = _mm256_add_epi16(lo, _mm256_add_epi16(_mm256_mullo_epi16(midLo, wFull),
                                                 _mm256_mullo_epi16(Widen(last + k), wLast)));
      hi = _mm256_add_epi16(hi, _mm256_add_epi16(_mm256_mullo_epi16(midHi, wFull),
                                                 _mm256_mullo_epi16(Widen(last + k + 16), wLast)));
    }
    _mm256_storeu_si256(reinterpret_cast<__m256i*>(acc + k), lo);
    _mm256_storeu_si256(reinterpret_cast<__m256i*>(acc + k + 16), hi);
  }
  // The rest, fewer than 32 bytes, the narrower way.
  if (k < n) {
    SurfaceView rest = src;
    rest.top += k;
    SumColumns(acc + k, rest, s, full, n - k);
  }
}

bool HasAvx2() {
  static const bool has = __builtin_cpu_supports("avx2") != 0;
  return has;
}
#endif

// One view row from the column sums: each pixel the weighted sum of its columns, divided
// by the whole weight with rounding.
void SumRow(uint8_t* out, int32_t outBytes, const uint16_t* acc, const Axis& xs, uint32_t half, const Divider& div) {
  const __m128i zero = _mm_setzero_si128();
  for (const Span& s : xs.spans) {
    const uint16_t* p = acc + static_cast<size_t>(s.first) * 4;
    uint32_t c[3];
    if (s.first == s.last) {
      for (int ch = 0; ch < 3; ++ch) c[ch] = s.wFirst * p[ch];
    } else {
      // The whole columns between, two pixels a load.
      __m128i sum = zero;
      int32_t i = s.first + 1;
      for (; i + 1 < s.last; i += 2) {
        const __m128i two = _mm_loadu_si128(reinterpret_cast<const __m128i*>(acc + static_cast<size_t>(i) * 4));
        sum = _mm_add_epi32(sum, _mm_add_epi32(_mm_unpacklo_epi16(two, zero), _mm_unpackhi_epi16(two, zero)));
      }
      if (i < s.last) {
        const __m128i one = _mm_loadl_epi64(reinterpret_cast<const __m128i*>(acc + static_cast<size_t>(i) * 4));
        sum = _mm_add_epi32(sum, _mm_unpacklo_epi16(one, zero));
      }
      alignas(16) uint32_t mid[4];
      _mm_store_si128(reinterpret_cast<__m128i*>(mid), sum);
      const uint16_t* q = acc + static_cast<size_t>(s.last) * 4;
      for (int ch = 0; ch < 3; ++ch) c[ch] = s.wFirst * p[ch] + xs.full * mid[ch] + s.wLast * q[ch];
    }
    for (int ch = 0; ch < 3; ++ch) out[ch] = static_cast<uint8_t>(div(uint64_t{c[ch]} + half));
    if (outBytes == 4) out[3] = 0;
    out += outBytes;
  }
}

}  // namespace
#endif

bool HalftoneFromBgrx(const SurfaceView& dst, const SurfaceView& src) {
#if defined(RAVELO_HALFTONE_SSE2)
  if (dst.width > 0 && dst.height > 0 && src.width > 0 && src.height > 0 && src.bitsPerPixel == 32 &&
      (dst.bitsPerPixel == 24 || dst.bitsPerPixel == 32)) {
    const Axis xs = halftone::MapAxis(dst.width, src.width, 0, dst.width);
    const Axis ys = halftone::MapAxis(dst.height, src.height, 0, dst.height);
    const uint64_t total = uint64_t{xs.total} * ys.total;
    // Where HalftoneStretch itself sums in 16 bits and divides by one multiply.
    if (ys.total <= 257 && total < (1u << 16)) {
      const size_t n = static_cast<size_t>(src.width) * 4;
      std::vector<uint16_t> acc(n);
      const Divider div(static_cast<uint32_t>(total));
      const int32_t outBytes = dst.bitsPerPixel / 8;
#if defined(RAVELO_HALFTONE_AVX2)
      const auto columns = HasAvx2() ? SumColumnsAvx2 : SumColumns;
#else
      const auto columns = SumColumns;
#endif
      for (int32_t row = 0; row < dst.height; ++row) {
        columns(acc.data(), src, ys.spans[static_cast<size_t>(row)], ys.full, n);
        SumRow(dst.Row(row), outBytes, acc.data(), xs, static_cast<uint32_t>(total / 2), div);
      }
      return true;
    }
  }
#endif
  return HalftoneStretch(dst, 0, 0, dst.width, dst.height, src);
}

}  // namespace ravelo::view
