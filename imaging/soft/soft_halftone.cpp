// Area-averaging stretch. Both axes are measured in units of 1/g of a pixel (g the gcd
// of the two lengths), so that every weight is a whole number: a source pixel spans
// `a` units and a destination pixel `b`. Rows are averaged first (contiguous, so the
// compiler vectorises it), then columns of the one summed row.
#include <algorithm>
#include <cstring>
#include <numeric>
#include <vector>

#include "imaging/soft/halftone_axis.h"
#include "imaging/soft/soft_gdi.h"

namespace ravelo {

namespace {

using halftone::Axis;
using halftone::Divider;
using halftone::MapAxis;
using halftone::Span;

struct PlainDivider {
  explicit PlainDivider(uint64_t divisor) : d(divisor) {}
  uint32_t operator()(uint64_t n) const { return static_cast<uint32_t>(n / d); }
  uint64_t d;
};

template <typename Acc>
void AccumulateRow(Acc* acc, const uint8_t* row, size_t n, uint32_t w) {
  const Acc weight = static_cast<Acc>(w);
  for (size_t k = 0; k < n; ++k) acc[k] = static_cast<Acc>(acc[k] + weight * row[k]);
}

template <typename Acc>
void StartRow(Acc* acc, const uint8_t* row, size_t n, uint32_t w) {
  const Acc weight = static_cast<Acc>(w);
  for (size_t k = 0; k < n; ++k) acc[k] = static_cast<Acc>(weight * row[k]);
}

template <typename Sum, typename Div, int Sb, int Db, typename Acc>
void HorizontalPass(uint8_t* out, const Acc* acc, const Axis& xs, Sum half, const Div& div) {
  for (const Span& s : xs.spans) {
    Sum c0, c1, c2;
    const Acc* p = acc + static_cast<ptrdiff_t>(s.first) * Sb;
    if (s.first == s.last) {
      c0 = Sum{s.wFirst} * p[0];
      c1 = Sum{s.wFirst} * p[1];
      c2 = Sum{s.wFirst} * p[2];
    } else {
      Sum i0 = 0, i1 = 0, i2 = 0;
      const Acc* q = p + Sb;
      const Acc* end = acc + static_cast<ptrdiff_t>(s.last) * Sb;
      for (; q != end; q += Sb) {
        i0 += q[0];
        i1 += q[1];
        i2 += q[2];
      }
      c0 = Sum{s.wFirst} * p[0] + Sum{xs.full} * i0 + Sum{s.wLast} * end[0];
      c1 = Sum{s.wFirst} * p[1] + Sum{xs.full} * i1 + Sum{s.wLast} * end[1];
      c2 = Sum{s.wFirst} * p[2] + Sum{xs.full} * i2 + Sum{s.wLast} * end[2];
    }
    out[0] = static_cast<uint8_t>(div(c0 + half));
    out[1] = static_cast<uint8_t>(div(c1 + half));
    out[2] = static_cast<uint8_t>(div(c2 + half));
    if (Db == 4) out[3] = 0;
    out += Db;
  }
}

template <typename Sum, typename Div, int Sb, int Db, typename Acc>
void Run(const SurfaceView& dst, int64_t x0, int64_t y0, const Axis& xs, const Axis& ys,
         const SurfaceView& src, const Div& div) {
  const size_t n = static_cast<size_t>(src.width) * Sb;
  std::vector<Acc> acc(n);
  const Sum total = Sum{xs.total} * ys.total;
  const Sum half = total / 2;
  int64_t row = y0;
  for (const Span& s : ys.spans) {
    if (s.first == s.last) {
      StartRow(acc.data(), src.Row(s.first), n, s.wFirst);
    } else {
      StartRow(acc.data(), src.Row(s.first), n, s.wFirst);
      for (int32_t j = s.first + 1; j < s.last; ++j) AccumulateRow(acc.data(), src.Row(j), n, ys.full);
      AccumulateRow(acc.data(), src.Row(s.last), n, s.wLast);
    }
    HorizontalPass<Sum, Div, Sb, Db, Acc>(dst.Row(static_cast<int32_t>(row)) + x0 * Db, acc.data(), xs,
                                     half, div);
    ++row;
  }
}

template <int Sb, int Db>
bool Dispatch(const SurfaceView& dst, int64_t x0, int64_t y0, const Axis& xs, const Axis& ys,
              const SurfaceView& src) {
  // Column sums hold up to ys.total * 255; the final sums up to total * 255.
  if (ys.total >= (1u << 24)) return false;
  const uint64_t total = uint64_t{xs.total} * ys.total;
  // 16-bit column sums, where they fit, let the row pass use 16-bit vector multiplies.
  const bool narrow = ys.total <= 257;
  if (total < (1u << 16)) {
    const Divider div(static_cast<uint32_t>(total));
    if (narrow) Run<uint32_t, Divider, Sb, Db, uint16_t>(dst, x0, y0, xs, ys, src, div);
    else Run<uint32_t, Divider, Sb, Db, uint32_t>(dst, x0, y0, xs, ys, src, div);
  } else {
    if (total >= (uint64_t{1} << 55)) return false;
    const PlainDivider div(total);
    if (narrow) Run<uint64_t, PlainDivider, Sb, Db, uint16_t>(dst, x0, y0, xs, ys, src, div);
    else Run<uint64_t, PlainDivider, Sb, Db, uint32_t>(dst, x0, y0, xs, ys, src, div);
  }
  return true;
}

struct Visible {
  int64_t x0, x1, y0, y1;  // destination offsets inside the rectangle that are on the picture
  bool Empty() const { return x0 >= x1 || y0 >= y1; }
};

Visible Clip(const SurfaceView& dst, int32_t x, int32_t y, int32_t width, int32_t height) {
  Visible v;
  v.x0 = std::max<int64_t>(0, -int64_t{x});
  v.x1 = std::min<int64_t>(width, int64_t{dst.width} - x);
  v.y0 = std::max<int64_t>(0, -int64_t{y});
  v.y1 = std::min<int64_t>(height, int64_t{dst.height} - y);
  return v;
}

bool Supported(const SurfaceView& v) { return v.bitsPerPixel == 24 || v.bitsPerPixel == 32; }

}  // namespace

bool HalftoneStretch(const SurfaceView& dst, int32_t x, int32_t y, int32_t width, int32_t height,
                     const SurfaceView& src) {
  if (width <= 0 || height <= 0 || src.width <= 0 || src.height <= 0) return false;
  if (!Supported(dst) || !Supported(src)) return false;
  const Visible v = Clip(dst, x, y, width, height);
  if (v.Empty()) return true;
  const Axis xs = MapAxis(width, src.width, v.x0, v.x1);
  const Axis ys = MapAxis(height, src.height, v.y0, v.y1);
  const int64_t dx = x + v.x0;
  const int64_t dy = y + v.y0;
  const bool s4 = src.bitsPerPixel == 32;
  const bool d4 = dst.bitsPerPixel == 32;
  if (!s4 && !d4) return Dispatch<3, 3>(dst, dx, dy, xs, ys, src);
  if (!s4 && d4) return Dispatch<3, 4>(dst, dx, dy, xs, ys, src);
  if (s4 && !d4) return Dispatch<4, 3>(dst, dx, dy, xs, ys, src);
  return Dispatch<4, 4>(dst, dx, dy, xs, ys, src);
}

bool NearestStretch(const SurfaceView& dst, int32_t x, int32_t y, int32_t width, int32_t height,
                    const SurfaceView& src) {
  if (width <= 0 || height <= 0 || src.width <= 0 || src.height <= 0) return false;
  if (!Supported(dst) || !Supported(src)) return false;
  const Visible v = Clip(dst, x, y, width, height);
  if (v.Empty()) return true;
  const int32_t sb = src.bitsPerPixel / 8;
  const int32_t db = dst.bitsPerPixel / 8;
  // The source pixel under each destination pixel's centre.
  std::vector<int64_t> columns;
  columns.reserve(static_cast<size_t>(v.x1 - v.x0));
  for (int64_t i = v.x0; i < v.x1; ++i) columns.push_back(((2 * i + 1) * src.width) / (2 * int64_t{width}) * sb);
  for (int64_t j = v.y0; j < v.y1; ++j) {
    const uint8_t* s = src.Row(static_cast<int32_t>(((2 * j + 1) * src.height) / (2 * int64_t{height})));
    uint8_t* d = dst.Row(static_cast<int32_t>(y + j)) + (x + v.x0) * db;
    for (int64_t c : columns) {
      d[0] = s[c];
      d[1] = s[c + 1];
      d[2] = s[c + 2];
      if (db == 4) d[3] = 0;
      d += db;
    }
  }
  return true;
}

}  // namespace ravelo
