// The X11 capture's arithmetic without a display: blending a translucent cursor, which the
// Xvfb comparison (tests/x11/x11_capture_test.cpp) cannot show, and the fast halftone.
#include <gtest/gtest.h>

#include <vector>

#include "imaging/capture.h"
#include "imaging/soft/soft_gdi.h"
#include "imaging/view/view_picture.h"
#include "imaging/view/bgrx_halftone.h"

namespace ravelo {
namespace {

using view::CursorPicture;

TEST(ViewPictureTest, CursorIsBlendedByItsAlphaAndClippedToTheDesktop) {
  // A 4x1 desktop seen through a region whose origin is one pixel left of it; the cursor
  // starts left of the desktop and reaches past its right edge.
  std::vector<uint8_t> pixels(6 * 3, 100);
  const SurfaceView dst{pixels.data(), 6 * 3, 6, 1, 24};
  CursorPicture cursor;
  cursor.left = -1;
  cursor.top = 0;
  cursor.width = 6;
  cursor.height = 1;
  // premultiplied: clear, opaque red, half-covering white, clear, opaque blue, opaque green
  cursor.argb = {0xFFFFFFFF, 0xFFFF0000, 0x80808080, 0x00000000, 0xFF0000FF, 0xFF00FF00};
  view::BlendCursor(dst, -1, 0, 0, 1, 4, 1, cursor);
  struct Expect {
    int32_t x;
    uint8_t b, g, r;
  };
  const Expect expected[] = {
      {0, 100, 100, 100},  // left of the desktop: untouched
      {1, 0, 0, 255},      // opaque
      {2, 178, 178, 178},  // 128 + 100 * 127 / 255
      {3, 100, 100, 100},  // clear
      {4, 255, 0, 0},      // opaque, last desktop pixel
      {5, 100, 100, 100},  // right of the desktop: untouched
  };
  for (const Expect& e : expected) {
    const uint8_t* p = dst.Row(0) + e.x * 3;
    EXPECT_EQ(p[0], e.b) << e.x;
    EXPECT_EQ(p[1], e.g) << e.x;
    EXPECT_EQ(p[2], e.r) << e.x;
  }
}

TEST(ViewPictureTest, FastHalftoneGivesHalftoneStretchsPixelsExactly) {
  struct Size {
    int32_t w, h;
  };
  // Whole, fractional and enlarging scales; widths that leave tails after the wide loads;
  // a height whose sums just fit 16 bits (257) and sizes past the fast path's range, which
  // must still come out the same.
  const Size sizes[] = {{1920, 1080}, {1024, 768}, {1366, 768}, {1023, 767}, {1029, 770}, {200, 150},
                        {3, 2},       {256, 192},  {2560, 1440}, {640, 257}, {641, 258}, {1021, 257},
                        {700, 259}};
  for (const Size& z : sizes) {
    for (int fill = 0; fill < 2; ++fill) {
      std::vector<uint8_t> src(static_cast<size_t>(z.w) * z.h * 4);
      uint32_t seed = 12345;
      for (uint8_t& b : src) {
        seed = seed * 1103515245u + 12345u;
        b = fill == 0 ? static_cast<uint8_t>(seed >> 16) : 0xFF;  // noise, or the largest sums
      }
      const SurfaceView s{src.data(), z.w * 4, z.w, z.h, 32};
      for (int32_t bits : {24, 32}) {
        const int32_t pitch = kViewWidth * bits / 8;
        std::vector<uint8_t> expected(static_cast<size_t>(pitch) * kViewHeight, 7);
        std::vector<uint8_t> got(expected.size(), 9);
        ASSERT_TRUE(HalftoneStretch({expected.data(), pitch, kViewWidth, kViewHeight, bits}, 0, 0, kViewWidth,
                                    kViewHeight, s));
        ASSERT_TRUE(view::HalftoneFromBgrx({got.data(), pitch, kViewWidth, kViewHeight, bits}, s));
        EXPECT_TRUE(got == expected) << z.w << "x" << z.h << (fill == 0 ? " noise" : " white") << " to " << bits << " bits";
      }
    }
  }
}

}  // namespace
}  // namespace ravelo
