// The arithmetic of the area-averaging stretch, shared by the software drawer's stretch and
// the X11 capture's fast one, so that both give the same pixels. Both axes are measured in
// units of 1/g of a pixel (g the gcd of the two lengths), so that every weight is a whole
// number: a source pixel spans `full` units and a destination pixel `total`.
#pragma once

#include <cstdint>
#include <numeric>
#include <vector>

namespace ravelo::halftone {

struct Span {
  int32_t first;    // first source pixel touched
  int32_t last;     // last source pixel touched (inclusive)
  uint32_t wFirst;  // its share; the whole weight when first == last
  uint32_t wLast;
};

struct Axis {
  std::vector<Span> spans;  // one per destination pixel in [begin, end)
  uint32_t full = 0;        // weight of a wholly covered source pixel
  uint32_t total = 0;       // weight of one destination pixel
};

inline Axis MapAxis(int64_t dstLength, int64_t srcLength, int64_t begin, int64_t end) {
  const int64_t g = std::gcd(dstLength, srcLength);
  const int64_t a = dstLength / g;
  const int64_t b = srcLength / g;
  Axis axis;
  axis.full = static_cast<uint32_t>(a);
  axis.total = static_cast<uint32_t>(b);
  axis.spans.reserve(static_cast<size_t>(end - begin));
  for (int64_t i = begin; i < end; ++i) {
    const int64_t lo = i * b;
    const int64_t hi = lo + b;
    Span s;
    s.first = static_cast<int32_t>(lo / a);
    s.last = static_cast<int32_t>((hi - 1) / a);
    if (s.first == s.last) {
      s.wFirst = static_cast<uint32_t>(b);
      s.wLast = 0;
    } else {
      s.wFirst = static_cast<uint32_t>((s.first + 1) * a - lo);
      s.wLast = static_cast<uint32_t>(hi - s.last * a);
    }
    axis.spans.push_back(s);
  }
  return axis;
}

// n / d rounded down, for n < 256 * d and d < 2^16, by one multiply.
struct Divider {
  explicit Divider(uint32_t divisor) : m(((uint64_t{1} << 40) + divisor - 1) / divisor) {}
  uint32_t operator()(uint64_t n) const { return static_cast<uint32_t>((n * m) >> 40); }
  uint64_t m;
};

}  // namespace ravelo::halftone
