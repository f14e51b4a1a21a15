// The X11 capture on a private Xvfb: known pictures on the root window, the pointer at
// known places, both views compared with the software capture of the same screen and
// cursor (the Windows build's stand-in), with and without MIT-SHM.
#include <gtest/gtest.h>
#include <xcb/xcb.h>
#include <xcb/xfixes.h>

#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

#include "imaging/desktop_capture.h"
#include "imaging/soft/soft_desktop.h"
#include "imaging/soft/soft_gdi.h"
#include "imaging/x11/x11_capture.h"
#include "imaging_test_support.h"
#include "x11_test_display.h"

namespace ravelo {
namespace {

using testing::ChannelDistance;
using testing::DecodedPicture;
using testing::DecodePictureFile;
using testing::PrivateXvfb;
using testing::ScratchDir;

// JPEG of the same pixels through the same encoder is the same; this leaves room only for
// rounding, while a cursor or a picture one pixel off shows far above it.
constexpr int kNoise = 4;

uint32_t Pattern(int32_t x, int32_t y) {
  return static_cast<uint32_t>((x * 3) & 0xFF) << 16 | static_cast<uint32_t>((y * 2) & 0xFF) << 8 |
         static_cast<uint32_t>(((x / 32 + y / 32) % 2) * 200);
}

// The server's cursor as the software desktop draws it; false when the server has no
// XFixes or its cursor has translucent pixels, which the mask form cannot show.
bool ServerCursor(const std::string& display, IconPixels* icon, int32_t* x, int32_t* y) {
  xcb_connection_t* c = xcb_connect(display.c_str(), nullptr);
  bool ok = false;
  const xcb_query_extension_reply_t* ext = xcb_get_extension_data(c, &xcb_xfixes_id);
  if (ext != nullptr && ext->present) {
    std::free(xcb_xfixes_query_version_reply(c, xcb_xfixes_query_version(c, 4, 0), nullptr));
    xcb_xfixes_get_cursor_image_reply_t* r =
        xcb_xfixes_get_cursor_image_reply(c, xcb_xfixes_get_cursor_image(c), nullptr);
    if (r != nullptr) {
      const uint32_t* argb = xcb_xfixes_get_cursor_image_cursor_image(r);
      icon->width = r->width;
      icon->height = r->height;
      icon->hotX = r->xhot;
      icon->hotY = r->yhot;
      ok = true;
      for (int i = 0; i < r->width * r->height; ++i) {
        const uint32_t a = argb[i] >> 24;
        ok = ok && (a == 0 || a == 0xFF);
        icon->andMask.push_back(a == 0xFF ? 0 : 1);
        icon->xorColor.push_back(a == 0xFF ? argb[i] & 0xFFFFFF : 0);
      }
      *x = r->x;
      *y = r->y;
      std::free(r);
    }
  }
  xcb_disconnect(c);
  return ok;
}

struct View {
  const char* name;
  bool full;
  int32_t x, y;
  int32_t pointerX, pointerY;
};

class X11CaptureTest : public ::testing::Test {
 protected:
  void SetUp() override {
    if (!testing::XvfbInstalled()) GTEST_SKIP() << "Xvfb is not installed";
    previous_ = std::filesystem::current_path();
    std::filesystem::current_path(dir.Path());
  }
  void TearDown() override {
    if (!previous_.empty()) std::filesystem::current_path(previous_);
  }

  // Captures each view from the server and from a software desktop showing the same
  // picture and cursor, and compares the two files pixel by pixel.
  void ExpectViewsMatch(const PrivateXvfb& xvfb, int32_t w, int32_t h, const std::vector<View>& views) {
    if (!testing::HasExtension(xvfb.Name(), "XFIXES")) GTEST_SKIP() << "Xvfb has no XFixes";
    std::vector<uint32_t> rgb(static_cast<size_t>(w) * h);
    for (int32_t y = 0; y < h; ++y)
      for (int32_t x = 0; x < w; ++x) rgb[static_cast<size_t>(y) * w + x] = Pattern(x, y);
    ASSERT_TRUE(testing::ShowOnRoot(xvfb.Name(), w, h, rgb));
    std::unique_ptr<DesktopCapture> capture = MakeX11DesktopCapture(xvfb.Name().c_str());
    ASSERT_NE(capture, nullptr);
    uint16_t width = 0, height = 0;
    ASSERT_TRUE(capture->DesktopSize(width, height));
    EXPECT_EQ(width, w);
    EXPECT_EQ(height, h);

    for (const View& v : views) {
      SCOPED_TRACE(v.name);
      ASSERT_TRUE(testing::WarpPointer(xvfb.Name(), v.pointerX, v.pointerY));
      SoftDesktop reference(SoftGdi::Default());
      ASSERT_TRUE(reference.ShowPicture(w, h, rgb));
      IconPixels cursor;
      int32_t px = 0, py = 0;
      ASSERT_TRUE(ServerCursor(xvfb.Name(), &cursor, &px, &py)) << "no XFixes cursor, or a translucent one";
      EXPECT_EQ(px, v.pointerX);
      EXPECT_EQ(py, v.pointerY);
      ASSERT_TRUE(reference.SetCursor(cursor, px, py));
      const char* file = v.full ? kFullViewFile : kRegionViewFile;
      GdiDesktopCapture soft(reference);
      ASSERT_TRUE(soft.CaptureDesktop(v.full, static_cast<uint16_t>(v.x), static_cast<uint16_t>(v.y)));
      DecodedPicture expected;
      ASSERT_TRUE(DecodePictureFile(file, &expected));
      std::filesystem::remove(file);

      ASSERT_TRUE(capture->CaptureDesktop(v.full, static_cast<uint16_t>(v.x), static_cast<uint16_t>(v.y)));
      DecodedPicture got;
      ASSERT_TRUE(DecodePictureFile(file, &got));
      ASSERT_EQ(got.width, kViewWidth);
      ASSERT_EQ(got.height, kViewHeight);
      int worst = 0;
      for (size_t i = 0; i < got.rgb.size(); ++i) worst = std::max(worst, ChannelDistance(got.rgb[i], expected.rgb[i]));
      EXPECT_LE(worst, kNoise);
    }
  }

  ScratchDir dir;

 private:
  std::filesystem::path previous_;
};

const std::vector<View> kViews = {
    {"full, pointer inside", true, 0, 0, 500, 300},
    {"full, pointer at the top left", true, 0, 0, 1, 1},
    {"full, pointer at the bottom right", true, 0, 0, 1023, 767},
    {"region inside, around the pointer", false, 400, 200, 500, 300},
    {"region past the right and bottom, pointer in the corner", false, 900, 700, 1022, 766},
    {"region wholly outside", false, 1024, 768, 1023, 767},
};

TEST_F(X11CaptureTest, ViewsMatchTheSoftwareCaptureWithTheServersCursor) {
  PrivateXvfb xvfb(1024, 768);
  ASSERT_TRUE(xvfb.Running());
  ExpectViewsMatch(xvfb, 1024, 768, kViews);
}

// A fractional scale; 1080p; a screen smaller than a view, enlarged, and a region from its
// origin reaching past both of its edges.
TEST_F(X11CaptureTest, OtherScreenSizes) {
  const struct {
    int32_t w, h;
    std::vector<View> views;
  } screens[] = {
      {1366, 768, {{"full", true, 0, 0, 683, 384}, {"region at the right edge", false, 1200, 500, 1360, 600}}},
      {1920, 1080, {{"full, cursor cut at the bottom right", true, 0, 0, 1917, 1078}}},
      {200, 150, {{"full", true, 0, 0, 100, 75}, {"region past both edges", false, 0, 0, 190, 140}}},
  };
  for (const auto& s : screens) {
    SCOPED_TRACE(s.w);
    PrivateXvfb xvfb(s.w, s.h);
    ASSERT_TRUE(xvfb.Running());
    ExpectViewsMatch(xvfb, s.w, s.h, s.views);
  }
}

TEST_F(X11CaptureTest, WithoutSharedMemoryThePlainGrabServes) {
  PrivateXvfb xvfb(1024, 768, {"-extension", "MIT-SHM"});
  ASSERT_TRUE(xvfb.Running());
  ExpectViewsMatch(xvfb, 1024, 768, kViews);
}

TEST_F(X11CaptureTest, NoDisplayNoCapture) {
  EXPECT_EQ(MakeX11DesktopCapture(":65000"), nullptr);
  EXPECT_EQ(MakeX11DesktopCapture("not a display name"), nullptr);
}

TEST_F(X11CaptureTest, AFailedWriteFailsTheCaptureAndTheNextOneWorks) {
  PrivateXvfb xvfb(640, 480);
  ASSERT_TRUE(xvfb.Running());
  std::unique_ptr<DesktopCapture> capture = MakeX11DesktopCapture(xvfb.Name().c_str());
  ASSERT_NE(capture, nullptr);
  std::filesystem::create_directory(kFullViewFile);  // a directory where the file should go
  EXPECT_FALSE(capture->CaptureDesktop(true, 0, 0));
  std::filesystem::remove(kFullViewFile);
  EXPECT_TRUE(capture->CaptureDesktop(true, 0, 0));
  EXPECT_TRUE(capture->CaptureDesktop(false, 100, 100));
  EXPECT_TRUE(std::filesystem::is_regular_file(kRegionViewFile));
}

}  // namespace
}  // namespace ravelo
