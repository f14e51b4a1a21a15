// The halftone stretch: every destination pixel is the mean of the source area that
// falls on it, partial pixels weighted by their share, rounded to nearest.
#include <gtest/gtest.h>

#include <cmath>
#include <string>
#include <vector>

#include "imaging/image.h"
#include "imaging_test_support.h"

namespace ravelo {
namespace {

using testing::Fill;
using testing::ReadRgb;

class HalftoneTest : public ::testing::Test {
 protected:
  // Stretches `src` (whole) onto a new w x h image in the given mode.
  void Stretch(CImage& src, CImage& dst, int32_t w, int32_t h, int mode = kStretchModeHalftone) {
    ASSERT_TRUE(dst.Create(w, h, 24, 0));
    CImageDrawScope d(dst), s(src);
    gdi.SetStretchMode(d, mode);
    ASSERT_TRUE(gdi.StretchBlit(d, 0, 0, w, h, s, 0, 0, src.GetWidth(), src.GetHeight(), kRopSrcCopy));
  }
  CDrawContextPool pool{DefaultGdi()};
  CImagingStartup startup{DefaultGdiplus()};
  GdiApi& gdi = DefaultGdi();
};

struct Row {
  const char* what;
  std::vector<uint32_t> source;
  std::vector<uint32_t> expected;
};

TEST_F(HalftoneTest, OneRowAveragesByShare) {
  const Row rows[] = {
      {"halving", {10, 20, 30, 41}, {15, 36}},
      {"3 to 2", {0, 90, 180}, {30, 150}},
      {"2 to 3", {0, 90}, {0, 45, 90}},
      {"5 to 2", {100, 0, 50, 0, 100}, {50, 50}},
      {"to one", {1, 2, 3, 4, 5, 6, 7}, {4}},
      {"same size", {9, 8, 7}, {9, 8, 7}},
      {"channels apart", {0x0000FF, 0xFF0000}, {0x800080}},
  };
  for (const Row& r : rows) {
    SCOPED_TRACE(r.what);
    CImage src(pool, startup), dst(pool, startup);
    const auto sw = static_cast<int32_t>(r.source.size());
    const auto dw = static_cast<int32_t>(r.expected.size());
    ASSERT_TRUE(src.Create(sw, 1, 24, 0));
    Fill(src, [&](int32_t x, int32_t) { return r.source[static_cast<size_t>(x)]; });
    Stretch(src, dst, dw, 1);
    for (int32_t x = 0; x < dw; ++x) EXPECT_EQ(ReadRgb(dst, x, 0), r.expected[static_cast<size_t>(x)]) << x;
  }
}

TEST_F(HalftoneTest, BothDirectionsAtOnce) {
  CImage src(pool, startup), dst(pool, startup);
  ASSERT_TRUE(src.Create(3, 3, 24, 0));
  Fill(src, [](int32_t x, int32_t y) { return x == 1 && y == 1 ? 0xFFFFFFu : 0u; });
  Stretch(src, dst, 2, 2);
  // Each quarter holds a quarter of the centre pixel in an area of 2.25 pixels: 255 / 9.
  for (int32_t y = 0; y < 2; ++y)
    for (int32_t x = 0; x < 2; ++x) EXPECT_EQ(ReadRgb(dst, x, y), 0x1C1C1Cu) << x << "," << y;

  CImage up(pool, startup);
  Stretch(src, up, 6, 6);  // enlarged: each source pixel covers 2 x 2
  EXPECT_EQ(ReadRgb(up, 2, 3), 0xFFFFFFu);
  EXPECT_EQ(ReadRgb(up, 1, 2), 0u);
}

TEST_F(HalftoneTest, OtherModesPickTheNearestPixel) {
  CImage src(pool, startup), dst(pool, startup);
  ASSERT_TRUE(src.Create(4, 1, 24, 0));
  Fill(src, [](int32_t x, int32_t) { return static_cast<uint32_t>(x * 10); });
  Stretch(src, dst, 2, 1, kStretchModeColorOnColor);
  EXPECT_EQ(ReadRgb(dst, 0, 0), 10u);
  EXPECT_EQ(ReadRgb(dst, 1, 0), 30u);
}

TEST_F(HalftoneTest, SourceAndDestinationRectangles) {
  CImage src(pool, startup), dst(pool, startup);
  ASSERT_TRUE(src.Create(8, 8, 24, 0));
  Fill(src, [](int32_t x, int32_t y) { return x >= 4 && y >= 2 && y < 6 ? 0x646464u : 0u; });
  ASSERT_TRUE(dst.Create(4, 4, 24, 0));
  CImageDrawScope d(dst), s(src);
  gdi.SetStretchMode(d, kStretchModeHalftone);
  // The 4 x 4 block at (4, 2) halved into (2, 2): partly off the picture, clipped there.
  ASSERT_TRUE(gdi.StretchBlit(d, 3, 3, 2, 2, s, 4, 2, 4, 4, kRopSrcCopy));
  EXPECT_EQ(ReadRgb(dst, 3, 3), 0x646464u);
  EXPECT_EQ(ReadRgb(dst, 2, 3), 0u);
  EXPECT_EQ(ReadRgb(dst, 3, 2), 0u);
  EXPECT_FALSE(gdi.StretchBlit(d, 0, 0, 2, 2, s, 6, 6, 4, 4, kRopSrcCopy)) << "source beyond the picture";
}

// Reference: the same mean, worked out in floating point pixel by pixel.
double ReferenceMean(const std::vector<uint8_t>& plane, int32_t sw, int32_t sh, int32_t dw, int32_t dh,
                     int32_t i, int32_t j) {
  const double x0 = double(i) * sw / dw, x1 = double(i + 1) * sw / dw;
  const double y0 = double(j) * sh / dh, y1 = double(j + 1) * sh / dh;
  double sum = 0;
  for (auto y = static_cast<int32_t>(y0); y < sh && y < y1; ++y) {
    const double wy = std::min<double>(y + 1, y1) - std::max<double>(y, y0);
    for (auto x = static_cast<int32_t>(x0); x < sw && x < x1; ++x) {
      const double wx = std::min<double>(x + 1, x1) - std::max<double>(x, x0);
      sum += wx * wy * plane[static_cast<size_t>(y) * sw + x];
    }
  }
  return sum / ((x1 - x0) * (y1 - y0));
}

struct Scale {
  int32_t sw, sh, dw, dh;
};

TEST_F(HalftoneTest, DesktopSizesMatchTheReference) {
  const Scale scales[] = {{1920, 1080, 256, 192}, {1366, 768, 256, 192}, {1024, 768, 256, 192},
                          {200, 150, 256, 192}, {97, 61, 13, 7}, {97, 601, 13, 7},
                          {1921, 1081, 256, 192}};  // the last two need wide sums
  for (const Scale& sc : scales) {
    SCOPED_TRACE(std::to_string(sc.sw) + "x" + std::to_string(sc.sh));
    // Blocks for the coarse layout, per-pixel stripes and noise for the fine weights.
    auto pattern = [](int32_t x, int32_t y) {
      const uint32_t blue = static_cast<uint32_t>(((x / 15) * 37 + (y / 45) * 91) & 0xFF);
      const uint32_t green = (x & 1) != 0 ? 255u : 0u;
      const uint32_t red = static_cast<uint32_t>((x * 2654435761u ^ y * 40503u) >> 24);
      return red << 16 | green << 8 | blue;
    };
    CImage src(pool, startup), dst(pool, startup);
    ASSERT_TRUE(src.Create(sc.sw, sc.sh, 24, 0));
    Fill(src, pattern);
    Stretch(src, dst, sc.dw, sc.dh);
    std::vector<uint8_t> planes[3];
    for (int c = 0; c < 3; ++c) {
      planes[c].resize(static_cast<size_t>(sc.sw) * sc.sh);
      for (int32_t y = 0; y < sc.sh; ++y)
        for (int32_t x = 0; x < sc.sw; ++x)
          planes[c][static_cast<size_t>(y) * sc.sw + x] = static_cast<uint8_t>(pattern(x, y) >> (8 * c));
    }
    int wrong = 0;
    for (int32_t j = 0; j < sc.dh; ++j)
      for (int32_t i = 0; i < sc.dw; ++i)
        for (int c = 0; c < 3; ++c) {
          const double want = ReferenceMean(planes[c], sc.sw, sc.sh, sc.dw, sc.dh, i, j);
          const int got = static_cast<int>((ReadRgb(dst, i, j) >> (8 * c)) & 0xFF);
          if (std::fabs(got - want) > 0.5 + 1e-6 && ++wrong <= 5)
            ADD_FAILURE() << "pixel " << i << "," << j << " channel " << c << ": " << got << " vs " << want;
        }
    EXPECT_EQ(wrong, 0);
  }
}

}  // namespace
}  // namespace ravelo
