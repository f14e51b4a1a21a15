// A screen-cast stream's frames and cursor metadata into the views: the cursor blocks as
// producers write them (and damaged ones), and the capture over a scripted frame source,
// whose frames it must never change and whose cursor it must not leave behind.
#include <gtest/gtest.h>
#include <spa/buffer/meta.h>
#include <spa/param/video/raw.h>

#include <cstring>
#include <filesystem>
#include <utility>
#include <vector>

#include "imaging/capture.h"
#include "imaging/portal/frame_capture.h"
#include "imaging/portal/portal_frame.h"
#include "imaging_test_support.h"

namespace ravelo::portal {
namespace {

// A cursor metadata block as a producer writes it: the head, a bitmap header at
// `bitmapOffset` and its pixels right after it.
struct CursorBlock {
  std::vector<std::uint8_t> bytes;
  spa_meta_cursor* Head() { return reinterpret_cast<spa_meta_cursor*>(bytes.data()); }
  spa_meta_bitmap* Bitmap() { return reinterpret_cast<spa_meta_bitmap*>(bytes.data() + Head()->bitmap_offset); }

  static CursorBlock Make(std::int32_t x, std::int32_t y, std::uint32_t format, std::uint32_t w, std::uint32_t h,
                          const std::vector<std::uint8_t>& pixels) {
    CursorBlock b;
    b.bytes.assign(sizeof(spa_meta_cursor) + sizeof(spa_meta_bitmap) + pixels.size(), 0);
    spa_meta_cursor* head = b.Head();
    head->id = 1;
    head->position = {x, y};
    head->hotspot = {1, 2};
    head->bitmap_offset = sizeof(spa_meta_cursor);
    spa_meta_bitmap* bitmap = b.Bitmap();
    bitmap->format = format;
    bitmap->size = {w, h};
    bitmap->stride = static_cast<std::int32_t>(w * 4);
    bitmap->offset = sizeof(spa_meta_bitmap);
    std::memcpy(b.bytes.data() + sizeof(spa_meta_cursor) + sizeof(spa_meta_bitmap), pixels.data(), pixels.size());
    return b;
  }
};

TEST(PortalFrameTest, CursorBitmapsOfEachByteOrderBecomePremultipliedArgb) {
  // One pixel with bytes 1, 2, 3, 4 in memory.
  const struct {
    std::uint32_t format;
    std::uint32_t argb;
  } cases[] = {
      {SPA_VIDEO_FORMAT_RGBA, 0x04010203}, {SPA_VIDEO_FORMAT_BGRA, 0x04030201},
      {SPA_VIDEO_FORMAT_ARGB, 0x01020304}, {SPA_VIDEO_FORMAT_ABGR, 0x01040302},
  };
  for (const auto& c : cases) {
    CursorBlock block = CursorBlock::Make(10, 20, c.format, 1, 1, {1, 2, 3, 4});
    StreamCursor cursor;
    ASSERT_TRUE(UpdateCursor(block.bytes.data(), block.bytes.size(), cursor)) << c.format;
    const view::CursorPicture picture = cursor.Placed();
    ASSERT_EQ(picture.argb.size(), 1u);
    EXPECT_EQ(picture.argb[0], c.argb) << c.format;
  }
}

TEST(PortalFrameTest, CursorBlocksUpdateWhatTheyCarryAndDamagedOnesNothing) {
  const std::vector<std::uint8_t> red2x2(16, 0);
  using Edit = void (*)(CursorBlock&);
  const struct {
    const char* what;
    Edit edit;
    bool accepted;
    std::int32_t x, y, width;  // the cursor afterwards; it was 2x2 at (5, 5)
  } cases[] = {
      {"a new position and bitmap", [](CursorBlock&) {}, true, 40, 50, 2},
      {"no news (id 0)", [](CursorBlock& b) { b.Head()->id = 0; }, true, 5, 5, 2},
      {"a position alone", [](CursorBlock& b) { b.Head()->bitmap_offset = 0; }, true, 40, 50, 2},
      {"bitmap of format 0: no new bitmap", [](CursorBlock& b) { b.Bitmap()->format = 0; }, true, 40, 50, 2},
      {"bitmap without pixels: hidden", [](CursorBlock& b) { b.Bitmap()->offset = 0; }, true, 40, 50, 0},
      {"empty bitmap: hidden", [](CursorBlock& b) { b.Bitmap()->size = {0, 0}; }, true, 40, 50, 0},
      {"bitmap header past the block", [](CursorBlock& b) { b.Head()->bitmap_offset = 1000; }, false, 5, 5, 2},
      {"bitmap inside the head", [](CursorBlock& b) { b.Head()->bitmap_offset = 4; }, false, 5, 5, 2},
      {"pixels past the block", [](CursorBlock& b) { b.Bitmap()->size = {2, 3}; }, false, 5, 5, 2},
      {"rows shorter than the width", [](CursorBlock& b) { b.Bitmap()->stride = 4; }, false, 5, 5, 2},
      {"negative stride", [](CursorBlock& b) { b.Bitmap()->stride = -8; }, false, 5, 5, 2},
      {"a format not understood", [](CursorBlock& b) { b.Bitmap()->format = SPA_VIDEO_FORMAT_NV12; }, false, 5, 5, 2},
      {"larger than any cursor",
       [](CursorBlock& b) { b.Bitmap()->size = {kMaxCursorSide + 1, 1}; }, false, 5, 5, 2},
  };
  for (const auto& c : cases) {
    StreamCursor cursor;
    CursorBlock first = CursorBlock::Make(5, 5, SPA_VIDEO_FORMAT_RGBA, 2, 2, red2x2);
    ASSERT_TRUE(UpdateCursor(first.bytes.data(), first.bytes.size(), cursor));
    CursorBlock block = CursorBlock::Make(40, 50, SPA_VIDEO_FORMAT_RGBA, 2, 2, red2x2);
    c.edit(block);
    EXPECT_EQ(UpdateCursor(block.bytes.data(), block.bytes.size(), cursor), c.accepted) << c.what;
    EXPECT_EQ(cursor.x, c.x) << c.what;
    EXPECT_EQ(cursor.y, c.y) << c.what;
    EXPECT_EQ(cursor.Placed().width, c.width) << c.what;
  }
  StreamCursor cursor;
  EXPECT_FALSE(UpdateCursor(red2x2.data(), sizeof(spa_meta_cursor) - 1, cursor));  // shorter than the head
  EXPECT_EQ(cursor.Placed().width, 0);                                              // none before any block
}

// A source with one scripted frame, counting the waits asked for.
class ScriptedSource : public FrameSource {
 public:
  std::vector<std::uint8_t> pixels;
  FrameView frame;
  bool hasFrame = true;
  view::CursorPicture cursor;
  std::vector<int> waits;

  void Make(std::int32_t w, std::int32_t h, PixelOrder order, std::uint32_t rgb) {
    const std::ptrdiff_t stride = w * 4 + 16;
    pixels.assign(static_cast<size_t>(stride * h), 0);
    const std::uint8_t r = static_cast<std::uint8_t>(rgb >> 16), g = static_cast<std::uint8_t>(rgb >> 8),
                       b = static_cast<std::uint8_t>(rgb);
    for (std::int32_t y = 0; y < h; ++y)
      for (std::int32_t x = 0; x < w; ++x) {
        std::uint8_t* p = &pixels[static_cast<size_t>(y * stride + x * 4)];
        p[0] = order == PixelOrder::kBgrx ? b : r;
        p[1] = g;
        p[2] = order == PixelOrder::kBgrx ? r : b;
      }
    frame = FrameView{pixels.data(), stride, w, h, order, frame.serial + 1};
  }

  void PutCursor(std::int32_t left, std::int32_t top, std::uint32_t argb) {
    cursor.left = left;
    cursor.top = top;
    cursor.width = 16;
    cursor.height = 16;
    cursor.argb.assign(16 * 16, argb);
  }

  const FrameView* NewestFrame(int waitMs) override {
    waits.push_back(waitMs);
    return hasFrame ? &frame : nullptr;
  }
  view::CursorPicture Cursor() override { return cursor; }
};

class FrameCaptureTest : public ::testing::Test {
 protected:
  void SetUp() override {
    previous_ = std::filesystem::current_path();
    std::filesystem::current_path(dir_.Path());
  }
  void TearDown() override { std::filesystem::current_path(previous_); }

  testing::DecodedPicture View(const char* file) {
    testing::DecodedPicture picture;
    EXPECT_TRUE(testing::DecodePictureFile(file, &picture)) << file;
    return picture;
  }

  testing::ScratchDir dir_;
  std::filesystem::path previous_;
  ScriptedSource source_;
  FrameCapture capture_{source_};
};

constexpr std::uint32_t kGrey = 0x606060;
constexpr std::uint32_t kWhite = 0xFFFFFF;

// BGRx frames are read in place (the e2e test shows their cursor drawn where it is now and
// gone from where it was); RGBx frames are copied to be drawn on.
TEST_F(FrameCaptureTest, TheCopyOfAnRgbxFrameLosesTheCursorWhenItMovesAndGoesWithANewFrame) {
  source_.Make(512, 384, PixelOrder::kRgbx, kGrey);  // the full view halves it
  source_.PutCursor(96, 96, 0xFFFFFFFF);
  ASSERT_TRUE(capture_.CaptureDesktop(true, 0, 0));
  EXPECT_LE(testing::ChannelDistance(View(kFullViewFile).At(52, 52), kWhite), 12);
  source_.PutCursor(296, 196, 0xFFFFFFFF);  // moved, with no new frame
  ASSERT_TRUE(capture_.CaptureDesktop(true, 0, 0));
  EXPECT_LE(testing::ChannelDistance(View(kFullViewFile).At(52, 52), kGrey), 12) << "the old cursor stayed";
  EXPECT_LE(testing::ChannelDistance(View(kFullViewFile).At(152, 102), kWhite), 12);
  source_.Make(512, 384, PixelOrder::kRgbx, 0x2040C0);  // same size, next serial
  ASSERT_TRUE(capture_.CaptureDesktop(true, 0, 0));
  EXPECT_LE(testing::ChannelDistance(View(kFullViewFile).At(128, 96), 0x2040C0), 12);
}

TEST_F(FrameCaptureTest, ViewPixelsRemadeUnderTheCursorAreThoseOfTheWholeFrameWithIt) {
  // The same noisy picture once as BGRx (view made in place, pixels under the cursor remade)
  // and once as RGBx (copied, cursor drawn in, whole view made): the files must not differ,
  // and neither frame may be written to.
  struct Size {
    std::int32_t w, h;
  };
  const Size sizes[] = {{1920, 1080}, {1366, 768}, {1023, 767}, {300, 200}, {200, 150}};
  for (const Size& z : sizes) {
    for (const auto& [left, top] : {std::pair{z.w / 3, z.h / 2}, std::pair{-7, -5}, std::pair{z.w - 9, z.h - 3}}) {
      std::vector<std::vector<std::uint8_t>> files;
      for (PixelOrder order : {PixelOrder::kBgrx, PixelOrder::kRgbx}) {
        ScriptedSource source;
        source.Make(z.w, z.h, order, 0);
        std::uint32_t seed = 99;
        for (std::int32_t y = 0; y < z.h; ++y)
          for (std::int32_t x = 0; x < z.w; ++x) {
            seed = seed * 1103515245u + 12345u;
            std::uint8_t* p = &source.pixels[static_cast<size_t>(y * source.frame.stride + x * 4)];
            p[0] = static_cast<std::uint8_t>(seed >> 24);
            p[1] = static_cast<std::uint8_t>(seed >> 16);
            p[2] = static_cast<std::uint8_t>(seed >> 8);
            if (order == PixelOrder::kRgbx) std::swap(p[0], p[2]);
          }
        source.PutCursor(left, top, 0);
        for (size_t i = 0; i < source.cursor.argb.size(); ++i)  // translucent and opaque, premultiplied
          source.cursor.argb[i] = i % 3 ? 0x80402010u : 0xFF20C0F0u;
        const std::vector<std::uint8_t> original = source.pixels;
        FrameCapture capture(source);
        ASSERT_TRUE(capture.CaptureDesktop(true, 0, 0));
        files.push_back(testing::ReadFileBytes(kFullViewFile));
        EXPECT_TRUE(source.pixels == original) << "the stream's frame was written to";
      }
      EXPECT_TRUE(files[0] == files[1]) << z.w << "x" << z.h << " cursor at " << left << "," << top;
    }
  }
}

TEST_F(FrameCaptureTest, WithoutAFrameNothingIsWrittenAndTheWaitIsSpentOnce) {
  source_.hasFrame = false;
  std::uint16_t w = 0, h = 0;
  EXPECT_FALSE(capture_.DesktopSize(w, h));
  EXPECT_FALSE(capture_.CaptureDesktop(true, 0, 0));
  EXPECT_FALSE(std::filesystem::exists(kFullViewFile));
  EXPECT_EQ(source_.waits, (std::vector<int>{kFirstFrameWaitMs, 0}));
  source_.hasFrame = true;
  source_.Make(640, 480, PixelOrder::kBgrx, kGrey);
  ASSERT_TRUE(capture_.DesktopSize(w, h));
  EXPECT_EQ(w, 640);
  EXPECT_EQ(h, 480);
  source_.frame.stride = 639 * 4;  // rows shorter than the picture: not a frame
  EXPECT_FALSE(capture_.CaptureDesktop(true, 0, 0));
}

}  // namespace
}  // namespace ravelo::portal
