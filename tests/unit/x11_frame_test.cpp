// The X11 capture's picture path without a display: a grab and an XFixes cursor made by
// hand must give the same file as the software desktop's capture of that picture, which
// stands in for the Windows build's.
#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <vector>

#include "imaging/desktop_capture.h"
#include "imaging/soft/soft_desktop.h"
#include "imaging/soft/soft_gdi.h"
#include "imaging/x11/x11_frame.h"
#include "imaging/x11/x11_halftone.h"
#include "imaging_test_support.h"

namespace ravelo {
namespace {

using testing::ReadFileBytes;
using testing::ScratchDir;
using x11::CursorPicture;

uint32_t Pattern(int32_t x, int32_t y) {
  return static_cast<uint32_t>((x * 37 + y * 11) & 0xFF) << 16 | static_cast<uint32_t>((x ^ y) & 0xFF) << 8 |
         static_cast<uint32_t>((y * 5) & 0xFF);
}

// An arrow-like cursor: opaque white and black pixels in a triangle, clear elsewhere.
CursorPicture Arrow(int32_t pointerX, int32_t pointerY, int32_t hot) {
  CursorPicture c;
  c.width = 16;
  c.height = 20;
  c.left = pointerX - hot;
  c.top = pointerY - hot;
  c.argb.assign(16 * 20, 0);
  for (int32_t y = 0; y < 20; ++y)
    for (int32_t x = 0; x <= y * 3 / 4 && x < 16; ++x)
      c.argb[static_cast<size_t>(y) * 16 + x] = x == 0 || x == y * 3 / 4 ? 0xFF000000 : 0xFFFFFFFF;
  return c;
}

// The same cursor as the software desktop draws it: opaque pixels through the mask.
IconPixels AsIcon(const CursorPicture& c, uint32_t hot) {
  IconPixels p;
  p.width = c.width;
  p.height = c.height;
  p.hotX = hot;
  p.hotY = hot;
  for (uint32_t argb : c.argb) {
    p.andMask.push_back(argb >> 24 == 0xFF ? 0 : 1);
    p.xorColor.push_back(argb >> 24 == 0xFF ? argb & 0xFFFFFF : 0);
  }
  return p;
}

struct ScreenCase {
  const char* name;
  int32_t width, height;
  bool full;
  int32_t x, y;                // region origin
  int32_t pointerX, pointerY;  // hot spot (5, 5)
};

TEST(X11FrameTest, PicturesMatchTheSoftwareCaptureOfTheSameScreen) {
  const ScreenCase cases[] = {
      {"full, scaled by 4", 1024, 768, true, 0, 0, 500, 400},
      {"full, fractional scale, cursor cut at the top left", 1366, 768, true, 0, 0, 2, 1},
      {"full, 1080p, cursor cut at the bottom right", 1920, 1080, true, 0, 0, 1917, 1078},
      {"full, enlarged", 200, 150, true, 0, 0, 100, 100},
      {"region inside, cursor on its edge", 1024, 768, false, 100, 60, 98, 100},
      {"region past the right and bottom", 1024, 768, false, 900, 700, 1020, 765},
      {"region wholly outside", 1024, 768, false, 1024, 0, 1000, 10},
      {"region larger than the desktop", 200, 150, false, 0, 0, 190, 140},
  };
  ScratchDir dir;
  const auto previous = std::filesystem::current_path();
  std::filesystem::current_path(dir.Path());
  for (const ScreenCase& c : cases) {
    SCOPED_TRACE(c.name);
    std::vector<uint32_t> rgb(static_cast<size_t>(c.width) * c.height);
    for (int32_t y = 0; y < c.height; ++y)
      for (int32_t x = 0; x < c.width; ++x) rgb[static_cast<size_t>(y) * c.width + x] = Pattern(x, y);
    const CursorPicture cursor = Arrow(c.pointerX, c.pointerY, 5);
    const char* file = c.full ? kFullViewFile : kRegionViewFile;

    SoftDesktop desktop(SoftGdi::Default());
    ASSERT_TRUE(desktop.ShowPicture(c.width, c.height, rgb));
    ASSERT_TRUE(desktop.SetCursor(AsIcon(cursor, 5), c.pointerX, c.pointerY));
    GdiDesktopCapture reference(desktop);
    ASSERT_TRUE(reference.CaptureDesktop(c.full, static_cast<uint16_t>(c.x), static_cast<uint16_t>(c.y)));
    const std::vector<uint8_t> expected = ReadFileBytes(file);
    std::filesystem::remove(file);

    // The grab as the server writes it: B, G, R, unused; for a region only its part on
    // the desktop, rows packed.
    x11::ViewPicture view;
    std::vector<uint8_t> grab;
    const x11::Rect area = c.full ? x11::Rect{0, 0, c.width, c.height}
                                  : x11::RegionOnDesktop(c.x, c.y, c.width, c.height);
    for (int32_t y = area.top; y < area.top + area.height; ++y)
      for (int32_t x = area.left; x < area.left + area.width; ++x) {
        const uint32_t p = rgb[static_cast<size_t>(y) * c.width + x];
        grab.insert(grab.end(), {uint8_t(p), uint8_t(p >> 8), uint8_t(p >> 16), 0x5A});
      }
    if (c.full) {
      const SurfaceView g{grab.data(), c.width * 4, c.width, c.height, 32};
      ASSERT_TRUE(x11::ComposeFullView(view, g, cursor));
    } else {
      x11::ComposeRegionView(view, c.x, c.y, c.width, c.height, grab.data(), cursor);
    }
    ASSERT_TRUE(view.Save(file));
    // Same pixels through the same encoder: the same bytes, not merely alike.
    EXPECT_EQ(ReadFileBytes(file), expected);
  }
  std::filesystem::current_path(previous);
}

TEST(X11FrameTest, CursorIsBlendedByItsAlphaAndClippedToTheDesktop) {
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
  x11::BlendCursor(dst, -1, 0, 0, 1, 4, 1, cursor);
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

TEST(X11FrameTest, FastHalftoneGivesHalftoneStretchsPixelsExactly) {
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
        ASSERT_TRUE(x11::HalftoneFromBgrx({got.data(), pitch, kViewWidth, kViewHeight, bits}, s));
        EXPECT_TRUE(got == expected) << z.w << "x" << z.h << (fill == 0 ? " noise" : " white") << " to " << bits << " bits";
      }
    }
  }
}

}  // namespace
}  // namespace ravelo
