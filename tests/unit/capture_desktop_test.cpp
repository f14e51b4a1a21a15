// Desktop capture against a desktop held in memory: what the two views show, where the
// cursor lands, the order of the steps, and that every path gives back all it took.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "capture_recording.h"
#include "imaging/desktop_capture.h"
#include "imaging/soft/soft_desktop.h"
#include "imaging/soft/soft_gdi.h"
#include "imaging/soft/soft_gdiplus.h"
#include "imaging_test_support.h"

namespace ravelo {
namespace {

using testing::CallLog;
using testing::ChannelDistance;
using testing::DecodedPicture;
using testing::DecodePictureFile;
using testing::LoggingGdiplus;
using testing::RecordingDesktop;
using testing::RecordingGdi;
using testing::ScratchDir;

constexpr uint32_t kBlack = 0x000000;
constexpr uint32_t kBackground = 0x2060A0;
constexpr uint32_t kCursorColour = 0xFF00FF;
// Flat areas survive the JPEG round trip within this; edges do not, so samples keep away.
constexpr int kTolerance = 24;

// Sixteen colours far enough apart to be told from each other after encoding; no black.
const uint32_t kPalette[16] = {0xFF0000, 0x00FF00, 0x0000FF, 0xFFFF00, 0xFF00FF, 0x00FFFF,
                               0xFFFFFF, 0x808080, 0x800000, 0x008000, 0x000080, 0x808000,
                               0x800080, 0x008080, 0xFF8000, 0x80FF80};

std::vector<uint32_t> Picture(int32_t w, int32_t h, uint32_t (*at)(int32_t, int32_t, int32_t, int32_t)) {
  std::vector<uint32_t> rgb(static_cast<size_t>(w) * static_cast<size_t>(h));
  for (int32_t y = 0; y < h; ++y)
    for (int32_t x = 0; x < w; ++x) rgb[static_cast<size_t>(y) * w + x] = at(x, y, w, h);
  return rgb;
}

// A 4 x 4 grid over the whole desktop, whatever its size: cell (i, j) has colour i + 4j.
uint32_t Grid(int32_t x, int32_t y, int32_t w, int32_t h) { return kPalette[x * 4 / w + 4 * (y * 4 / h)]; }
// 64-pixel squares anchored at the desktop's origin.
uint32_t Squares(int32_t x, int32_t y, int32_t, int32_t) { return kPalette[(x / 64 + 3 * (y / 64)) % 16]; }
uint32_t Plain(int32_t, int32_t, int32_t, int32_t) { return kBackground; }
uint32_t Stripes(int32_t x, int32_t, int32_t, int32_t) { return x % 2 == 0 ? 0xFFFFFF : kBlack; }

IconPixels SolidCursor(int32_t size, uint32_t hot) {
  IconPixels p;
  p.width = size;
  p.height = size;
  p.hotX = hot;
  p.hotY = hot;
  p.andMask.assign(static_cast<size_t>(size) * size, 0);  // opaque everywhere
  p.xorColor.assign(static_cast<size_t>(size) * size, kCursorColour);
  return p;
}

std::string Slurp(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

void Write(const std::string& path, const std::string& text) {
  std::ofstream(path, std::ios::binary) << text;
}

class CaptureTest : public ::testing::Test {
 protected:
  void SetUp() override {
    previous_ = std::filesystem::current_path();
    std::filesystem::current_path(dir.Path());
  }
  void TearDown() override { std::filesystem::current_path(previous_); }

  // Asserts the picture file is a 256x192 JPEG and decodes it.
  DecodedPicture Decode(const char* file) {
    DecodedPicture picture;
    EXPECT_TRUE(DecodePictureFile(file, &picture)) << file;
    EXPECT_EQ(picture.width, kViewWidth);
    EXPECT_EQ(picture.height, kViewHeight);
    if (picture.width != kViewWidth || picture.height != kViewHeight)
      picture.rgb.assign(static_cast<size_t>(kViewWidth) * kViewHeight, 0xDEAD);
    picture.width = kViewWidth;
    return picture;
  }

  void ExpectColour(const DecodedPicture& picture, int32_t x, int32_t y, uint32_t rgb) {
    EXPECT_LE(ChannelDistance(picture.At(x, y), rgb), kTolerance)
        << "at " << x << "," << y << ": " << testing::Hex(picture.At(x, y)) << " not " << testing::Hex(rgb);
  }

  // What is left after a capture: the screen context back once per hand-out, no bitmap,
  // no context but the screen's and the pool's idle ones, no icon but the cursor, no
  // living image and the library shut down.
  void ExpectAllReleased() {
    EXPECT_EQ(desktop.ContextsGivenBack(), desktop.ContextsHandedOut());
    EXPECT_EQ(desktop.ForeignReleases(), 0u);
    EXPECT_EQ(gdi.LiveBitmaps(), 0u);
    size_t idle = 0;
    for (int i = 0; i < CDrawContextPool::kSlots; ++i) idle += pool.Peek(i) != nullptr ? 1 : 0;
    EXPECT_EQ(gdi.LiveContexts(), idle + (desktop.Screen() != nullptr ? 1 : 0));
    EXPECT_EQ(gdi.LiveIcons(), desktop.Cursor() != nullptr ? 1u : 0u);
    EXPECT_EQ(startup.LiveImages(), 0);
    EXPECT_FALSE(startup.IsStarted());
  }

  ScratchDir dir;
  CallLog log;
  SoftGdi gdi;
  SoftGdiplus library{gdi};
  LoggingGdiplus recordedLibrary{library, log};
  RecordingGdi recordedGdi{gdi, log};
  CDrawContextPool pool{recordedGdi};
  CImagingStartup startup{recordedLibrary};
  SoftDesktop desktop{gdi};
  RecordingDesktop recordedDesktop{desktop, log};
  GdiDesktopCapture capture{recordedDesktop, recordedGdi, pool, startup};

 private:
  std::filesystem::path previous_;
};

struct FullViewCase {
  const char* name;
  int32_t width, height;
};

TEST_F(CaptureTest, FullViewStretchesTheWholeDesktopOntoTheView) {
  // Grid cells are a quarter of the desktop each way, so in the view they are 64 x 48
  // wherever the scale is whole, fractional or an enlargement.
  const FullViewCase cases[] = {
      {"by 4", 1024, 768},
      {"by 7.5 and 5.625", 1920, 1080},
      {"1366 wide, padded rows", 1366, 768},
      {"enlarged both ways", 128, 96},
      {"narrowed, and enlarged upwards", 300, 100},
  };
  for (const FullViewCase& c : cases) {
    SCOPED_TRACE(c.name);
    ASSERT_TRUE(desktop.ShowPicture(c.width, c.height, Picture(c.width, c.height, Grid)));
    ASSERT_TRUE(capture.CaptureDesktop(true, 0, 0));
    const DecodedPicture view = Decode(kFullViewFile);
    for (int32_t j = 0; j < 4; ++j)
      for (int32_t i = 0; i < 4; ++i) ExpectColour(view, i * 64 + 32, j * 48 + 24, kPalette[i + 4 * j]);
    ExpectAllReleased();
  }
}

TEST_F(CaptureTest, FullViewAveragesWhatFallsOnAPixel) {
  ASSERT_TRUE(desktop.ShowPicture(1920, 1080, Picture(1920, 1080, Stripes)));
  ASSERT_TRUE(capture.CaptureDesktop(true, 0, 0));
  const DecodedPicture view = Decode(kFullViewFile);
  for (int32_t x : {10, 128, 250}) ExpectColour(view, x, 96, 0x808080);
}

struct RegionCase {
  const char* name;
  uint16_t x, y;
  int32_t insideWidth, insideHeight;  // how much of the view the desktop covers
};

TEST_F(CaptureTest, RegionViewCopiesUnscaledAndIsBlackPastTheDesktop) {
  const RegionCase cases[] = {
      {"inside", 100, 50, 256, 192},
      {"at the origin", 0, 0, 256, 192},
      {"touching the corner", 768, 576, 256, 192},
      {"past right and bottom", 900, 700, 124, 68},
      {"x at the desktop's width", 1024, 0, 0, 192},
      {"wholly outside", 65535, 65535, 0, 0},
  };
  ASSERT_TRUE(desktop.ShowPicture(1024, 768, Picture(1024, 768, Squares)));
  for (const RegionCase& c : cases) {
    SCOPED_TRACE(c.name);
    ASSERT_TRUE(capture.CaptureDesktop(false, c.x, c.y));
    const DecodedPicture view = Decode(kRegionViewFile);
    // Sample inside the desktop squares and the black, away from every edge: 4:2:0 JPEG
    // smears colour across up to 16 pixels.
    constexpr int32_t kMargin = 12;
    for (int32_t vy = 4; vy < kViewHeight; vy += 8)
      for (int32_t vx = 4; vx < kViewWidth; vx += 8) {
        const int32_t dx = c.x + vx, dy = c.y + vy;
        const bool inside = vx < c.insideWidth && vy < c.insideHeight;
        const bool clear =
            inside ? dx % 64 >= kMargin && dx % 64 < 64 - kMargin && dy % 64 >= kMargin &&
                         dy % 64 < 64 - kMargin && vx < c.insideWidth - kMargin && vy < c.insideHeight - kMargin
                   : vx >= c.insideWidth + kMargin || vy >= c.insideHeight + kMargin;
        if (!clear) continue;
        ExpectColour(view, vx, vy, inside ? Squares(dx, dy, 0, 0) : kBlack);
        if (::testing::Test::HasFailure()) return;
      }
    ExpectAllReleased();
  }
}

struct CursorCase {
  const char* name;
  bool full;
  uint16_t originX, originY;
  int32_t pointerX, pointerY;
  uint32_t flags;
  bool failRead, failDescribe;
  std::vector<std::pair<int32_t, int32_t>> cursorAt, backgroundAt;  // view pixels
};

TEST_F(CaptureTest, CursorIsDrawnWithItsHotSpotOnThePointerOnlyWhenShowing) {
  // A 32 x 32 opaque cursor with its hot spot at (8, 8) on a plain desktop; the full view
  // gets one of 64 x 64 with its hot spot at (32, 32), to survive the division by 4.
  const CursorCase cases[] = {
      {"corner at (-5, -5): only its lower right", false, 0, 0, 3, 3, 1, false, false,
       {{2, 2}, {12, 12}, {20, 20}}, {{40, 40}, {60, 10}, {10, 60}}},
      {"inside a region", false, 480, 380, 500, 400, 1, false, false, {{16, 16}, {28, 28}, {39, 39}},
       {{4, 4}, {56, 56}, {28, 60}}},
      {"clipped at the desktop's edge", false, 900, 700, 1010, 750, 1, false, false, {{112, 55}},
       {{90, 30}}},
      {"in the full view too", true, 0, 0, 512, 384, 1, false, false, {{128, 96}}, {{100, 96}, {128, 70}}},
      {"hidden", false, 480, 380, 500, 400, 0, false, false, {}, {{28, 28}}},
      {"suppressed", false, 480, 380, 500, 400, 2, false, false, {}, {{28, 28}}},
      {"showing and suppressed", false, 480, 380, 500, 400, 3, false, false, {}, {{28, 28}}},
      {"unreadable", false, 480, 380, 500, 400, 1, true, false, {}, {{28, 28}}},
      {"picture unreadable", false, 480, 380, 500, 400, 1, false, true, {}, {{28, 28}}},
  };
  ASSERT_TRUE(desktop.ShowPicture(1024, 768, Picture(1024, 768, Plain)));
  for (const CursorCase& c : cases) {
    SCOPED_TRACE(c.name);
    ASSERT_TRUE(desktop.SetCursor(SolidCursor(c.full ? 64 : 32, c.full ? 32 : 8), c.pointerX, c.pointerY, c.flags));
    desktop.failCursor = c.failRead;
    recordedGdi.refuseDescribeIcon = c.failDescribe;
    ASSERT_TRUE(capture.CaptureDesktop(c.full, c.originX, c.originY));
    const DecodedPicture view = Decode(c.full ? kFullViewFile : kRegionViewFile);
    for (const auto& p : c.cursorAt) ExpectColour(view, p.first, p.second, kCursorColour);
    for (const auto& p : c.backgroundAt) ExpectColour(view, p.first, p.second, kBackground);
    ExpectAllReleased();
  }
}

TEST_F(CaptureTest, StepsRunInOrderAndReleaseInReverse) {
  ASSERT_TRUE(desktop.ShowPicture(1024, 768, Picture(1024, 768, Plain)));
  ASSERT_TRUE(desktop.SetCursor(SolidCursor(16, 8), 3, 3));
  recordedGdi.names[desktop.Screen()] = "screen";
  recordedGdi.names[desktop.Cursor()] = "cursor";
  const std::vector<std::string> before = {
      "DesktopWindow", "GetDC", "WindowRect", "CreateSection 256x192", "CreateSection 1024x768",
      "Select 256x192", "Select 1024x768", "Blit dc:1024x768 0,0,1024x768 <- screen 0,0 40CC0020",
      "ReadCursor", "CopyIcon cursor", "DescribeIcon copy", "DrawIcon dc:1024x768 -5,-5 copy",
      "FreeIcon copy", "FreeBitmap mask", "FreeBitmap color", "SetStretchMode dc:256x192 4"};
  const std::vector<std::string> after = {"Deselect dc:1024x768", "Deselect dc:256x192", "ReleaseDC",
                                          "FreeBitmap 1024x768", "FreeBitmap 256x192"};
  struct {
    bool full;
    std::vector<std::string> view;
  } cases[] = {
      {true,
       {"StretchBlit dc:256x192 0,0,256x192 <- dc:1024x768 0,0,1024x768 CC0020", "Save bufferfull.jpg"}},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.full ? "full" : "region");
    log.clear();
    ASSERT_TRUE(capture.CaptureDesktop(c.full, 700, 20));
    std::vector<std::string> expected = before;
    expected.insert(expected.end(), c.view.begin(), c.view.end());
    expected.insert(expected.end(), after.begin(), after.end());
    EXPECT_EQ(log, expected);
  }
  // The region view copies only its piece of the screen, past the edge nothing.
  log.clear();
  ASSERT_TRUE(capture.CaptureDesktop(false, 900, 20));
  EXPECT_EQ(log, (std::vector<std::string>{
                     "DesktopWindow", "GetDC", "WindowRect", "CreateSection 256x192", "Select 256x192",
                     "Blit dc:256x192 0,0,124x192 <- screen 900,20 40CC0020", "ReadCursor",
                     "CopyIcon cursor", "DescribeIcon copy", "DrawIcon dc:256x192 -905,-25 copy",
                     "FreeIcon copy", "FreeBitmap mask", "FreeBitmap color",
                     "Blit dc:256x192 124,0,132x192 <- null 0,0 42", "Save bufferpart.jpg",
                     "Deselect dc:256x192", "ReleaseDC", "FreeBitmap 256x192"}));
}

// A cursor with opaque, transparent and inverting parts, hot spot (5, 5).
IconPixels MixedCursor() {
  IconPixels p = SolidCursor(32, 5);
  for (int32_t y = 0; y < 32; ++y)
    for (int32_t x = 0; x < 32; ++x) {
      const size_t i = static_cast<size_t>(y) * 32 + x;
      if (x >= 16) p.andMask[i] = 1;                          // keeps the desktop...
      p.xorColor[i] = x >= 16 && y >= 16 ? 0xFFFFFF : (x < 16 ? kCursorColour : 0);  // ...or inverts it
    }
  return p;
}

struct SamenessCase {
  const char* name;
  uint16_t x, y;
  int32_t pointerX, pointerY;
};

TEST_F(CaptureTest, RegionViewIsTheSameAsCutFromAWholeDesktopCopy) {
  const SamenessCase cases[] = {
      {"inside, cursor inside", 100, 50, 200, 120},
      {"cursor over the region's top-left corner", 100, 50, 102, 52},
      {"cursor on the desktop's right edge, region past it", 900, 300, 1020, 400},
      {"cursor on the bottom-right corner, region past both edges", 900, 700, 1021, 765},
      {"cursor at the desktop's origin", 0, 0, 1, 1},
      {"region wholly outside, cursor near it", 1024, 768, 1022, 766},
      {"cursor left of the region", 500, 300, 480, 350},
  };
  ASSERT_TRUE(desktop.ShowPicture(1024, 768, Picture(1024, 768, Squares)));
  for (const SamenessCase& c : cases) {
    SCOPED_TRACE(c.name);
    ASSERT_TRUE(desktop.SetCursor(MixedCursor(), c.pointerX, c.pointerY));
    ASSERT_TRUE(capture.CaptureDesktop(false, c.x, c.y));
    {
      // The region as cut from a desktop-sized copy with the cursor drawn on it.
      CImage view(pool, startup), whole(pool, startup);
      ASSERT_TRUE(view.Create(kViewWidth, kViewHeight, 24, 0));
      ASSERT_TRUE(whole.Create(1024, 768, 24, 0));
      CImageDrawScope viewScope(view), wholeScope(whole);
      gdi.Blit(wholeScope, 0, 0, 1024, 768, desktop.Screen(), 0, 0, kRopSrcCopy);
      capture.DrawCursorOverlay(wholeScope);
      gdi.Blit(viewScope, 0, 0, kViewWidth, kViewHeight, wholeScope, c.x, c.y, kRopSrcCopy);
      ASSERT_FALSE(Failed(view.Save("reference.jpg", kNullGuid)));
    }
    EXPECT_EQ(Slurp(kRegionViewFile), Slurp("reference.jpg"));
    ExpectAllReleased();
  }
}

struct FailureCase {
  const char* name;
  void (*script)(SoftDesktop&, RecordingGdi&, LoggingGdiplus&);
  size_t contextsHandedOut;
  bool fullOnly = false;  // the region view needs no desktop-sized image
};

TEST_F(CaptureTest, EachFailingStepFailsTheCaptureReleasesAllAndKeepsTheOldFile) {
  const FailureCase cases[] = {
      {"no desktop window", [](SoftDesktop& d, RecordingGdi&, LoggingGdiplus&) { d.failWindow = true; }, 0},
      {"no screen context", [](SoftDesktop& d, RecordingGdi&, LoggingGdiplus&) { d.failContext = true; }, 0},
      {"no rectangle", [](SoftDesktop& d, RecordingGdi&, LoggingGdiplus&) { d.failRect = true; }, 1},
      {"empty rectangle",
       [](SoftDesktop& d, RecordingGdi&, LoggingGdiplus&) { d.SetRect(DesktopRect{0, 0, 0, 768}); }, 1},
      {"inverted rectangle",
       [](SoftDesktop& d, RecordingGdi&, LoggingGdiplus&) { d.SetRect(DesktopRect{0, 768, 1024, 0}); }, 1},
      {"no view image",
       [](SoftDesktop&, RecordingGdi& g, LoggingGdiplus&) { g.refuseSections.insert("256x192"); }, 1},
      {"no desktop image",
       [](SoftDesktop&, RecordingGdi& g, LoggingGdiplus&) { g.refuseSections.insert("1024x768"); }, 1,
       true},
      {"no drawing context for the view",
       [](SoftDesktop&, RecordingGdi& g, LoggingGdiplus&) { g.contextBudget = 0; }, 1},
      {"no drawing context for the desktop image",
       [](SoftDesktop&, RecordingGdi& g, LoggingGdiplus&) { g.contextBudget = 1; }, 1, true},
      {"imaging library does not start",
       [](SoftDesktop&, RecordingGdi&, LoggingGdiplus& l) { l.failWith["Startup"] = kGpGenericError; }, 1},
      {"file not written",
       [](SoftDesktop&, RecordingGdi&, LoggingGdiplus& l) { l.failWith["SaveImageToFile"] = kGpWin32Error; }, 1},
      {"file name not convertible",
       [](SoftDesktop&, RecordingGdi&, LoggingGdiplus& l) { l.failConversion = true; }, 1},
  };
  for (const FailureCase& c : cases) {
    for (bool full : {true, false}) {
      SCOPED_TRACE(std::string(c.name) + (full ? ", full" : ", region"));
      SoftGdi caseGdi;
      SoftGdiplus caseLibrary{caseGdi};
      CallLog caseLog;
      LoggingGdiplus caseRecordedLibrary{caseLibrary, caseLog};
      RecordingGdi caseRecordedGdi{caseGdi, caseLog};
      SoftDesktop caseDesktop{caseGdi};
      {
        CDrawContextPool casePool{caseRecordedGdi};
        CImagingStartup caseStartup{caseRecordedLibrary};
        GdiDesktopCapture caseCapture{caseDesktop, caseRecordedGdi, casePool, caseStartup};
        ASSERT_TRUE(caseDesktop.ShowPicture(1024, 768, Picture(1024, 768, Grid)));
        ASSERT_TRUE(caseDesktop.SetCursor(SolidCursor(16, 8), 10, 10));
        Write(kFullViewFile, "old full");
        Write(kRegionViewFile, "old region");
        c.script(caseDesktop, caseRecordedGdi, caseRecordedLibrary);

        bool ok = true;
        EXPECT_NO_THROW(ok = caseCapture.CaptureDesktop(full, 0, 0));
        const bool fails = full || !c.fullOnly;
        EXPECT_EQ(ok, !fails);
        EXPECT_EQ(Slurp(kFullViewFile), "old full");
        if (fails) {
          EXPECT_EQ(Slurp(kRegionViewFile), "old region");
        }
        EXPECT_EQ(caseDesktop.ContextsHandedOut(), c.contextsHandedOut);
        EXPECT_EQ(caseDesktop.ContextsGivenBack(), c.contextsHandedOut);
        EXPECT_EQ(caseDesktop.ForeignReleases(), 0u);
        EXPECT_EQ(caseGdi.LiveBitmaps(), 0u);
        EXPECT_EQ(caseGdi.LiveIcons(), 1u);
        EXPECT_EQ(caseStartup.LiveImages(), 0);
        EXPECT_FALSE(caseStartup.IsStarted());
      }
      // With the pool gone only the screen's context may be left.
      EXPECT_EQ(caseGdi.LiveContexts(), 1u);
      EXPECT_EQ(caseLibrary.LiveImages(), 0u);
    }
  }
}

TEST_F(CaptureTest, UnwritableFileFailsAndTheProgramGoesOn) {
  ASSERT_TRUE(desktop.ShowPicture(1024, 768, Picture(1024, 768, Grid)));
  // A directory in the file's place cannot be written over, even by root.
  std::filesystem::create_directory(kFullViewFile);
  EXPECT_FALSE(capture.CaptureDesktop(true, 0, 0));
  EXPECT_TRUE(std::filesystem::is_directory(kFullViewFile));
  ExpectAllReleased();
  EXPECT_TRUE(capture.CaptureDesktop(false, 0, 0)) << "the other view is still written";
  std::filesystem::remove(kFullViewFile);
  EXPECT_TRUE(capture.CaptureDesktop(true, 0, 0)) << "and this one again once it can be";
  ExpectAllReleased();
}

TEST_F(CaptureTest, CapturesReplaceTheirOwnFileAndReuseTheContexts) {
  ASSERT_TRUE(desktop.ShowPicture(1024, 768, Picture(1024, 768, Grid)));
  ASSERT_TRUE(capture.CaptureDesktop(false, 0, 0));
  const std::string region = Slurp(kRegionViewFile);
  ASSERT_TRUE(capture.CaptureDesktop(true, 0, 0));
  const size_t contexts = gdi.LiveContexts();
  ASSERT_TRUE(desktop.ShowPicture(1024, 768, Picture(1024, 768, Plain)));
  ASSERT_TRUE(capture.CaptureDesktop(true, 0, 0));
  EXPECT_EQ(gdi.LiveContexts(), contexts) << "the second capture draws through the pool's contexts";
  ExpectColour(Decode(kFullViewFile), 32, 24, kBackground);
  EXPECT_EQ(Slurp(kRegionViewFile), region) << "the other view's file is left alone";
  int starts = 0, shutdowns = 0;
  for (const std::string& call : recordedLibrary.calls) {
    starts += call == "Startup";
    shutdowns += call == "Shutdown";
  }
  EXPECT_EQ(starts, 3) << "each capture starts the library";
  EXPECT_EQ(shutdowns, 3) << "and shuts it down with its last image";
  ExpectAllReleased();
}

struct SizeCase {
  const char* name;
  DesktopRect rect;
  bool failWindow, failRect;
  bool ok;
  uint16_t width, height;
};

TEST_F(CaptureTest, DesktopSizeReadsTheRectangleAfreshAndWritesNothingOnFailure) {
  const SizeCase cases[] = {
      {"1920 x 1080", {0, 0, 1920, 1080}, false, false, true, 1920, 1080},
      {"1024 x 768", {0, 0, 1024, 768}, false, false, true, 1024, 768},
      {"not at the origin", {-100, 50, 1266, 818}, false, false, true, 1366, 768},
      {"no window", {0, 0, 1920, 1080}, true, false, false, 0, 0},
      {"no rectangle", {0, 0, 1920, 1080}, false, true, false, 0, 0},
      {"empty", {0, 0, 1920, 0}, false, false, false, 0, 0},
      {"inverted", {1920, 0, 0, 1080}, false, false, false, 0, 0},
  };
  for (const SizeCase& c : cases) {
    SCOPED_TRACE(c.name);
    desktop.SetRect(c.rect);
    desktop.failWindow = c.failWindow;
    desktop.failRect = c.failRect;
    uint16_t w = 7, h = 9;
    EXPECT_EQ(capture.DesktopSize(w, h), c.ok);
    EXPECT_EQ(w, c.ok ? c.width : 7);
    EXPECT_EQ(h, c.ok ? c.height : 9);
  }
  EXPECT_EQ(desktop.ContextsHandedOut(), 0u) << "the size needs no drawing context";
}

TEST_F(CaptureTest, NativeFactoryCapturesItsTestPicture) {
  std::unique_ptr<DesktopCapture> made = MakeDesktopCapture();
  ASSERT_NE(made, nullptr);
  uint16_t w = 0, h = 0;
  ASSERT_TRUE(made->DesktopSize(w, h));
  EXPECT_EQ(w, 1024);
  EXPECT_EQ(h, 768);
  ASSERT_TRUE(made->CaptureDesktop(true, 0, 0));
  ASSERT_TRUE(made->CaptureDesktop(false, 128, 0));
  ExpectColour(Decode(kFullViewFile), 16, 20, 0xFFFFFF);
  ExpectColour(Decode(kFullViewFile), 240, 20, kBlack);
  ExpectColour(Decode(kRegionViewFile), 64, 20, 0xFFFF00);
}

}  // namespace
}  // namespace ravelo
