// The image surface against this build's backend: the memory drawer natively, GDI and
// GDI+ under Wine. Everything here is the platform's behaviour, so it runs on both.
#include <gtest/gtest.h>

#include <cstring>
#include <filesystem>
#include <string>
#include <vector>

#include "imaging/find_encoder.h"
#include "imaging/image.h"
#include "imaging_test_support.h"

namespace ravelo {
namespace {

using testing::ChannelDistance;
using testing::DecodedPicture;
using testing::DecodePictureFile;
using testing::Fill;
using testing::ReadRgb;
using testing::ScratchDir;
using testing::WriteRgb;

// Each test gets its own pool and start-up guard over the default backends.
class ImageTest : public ::testing::Test {
 protected:
  CDrawContextPool pool{DefaultGdi()};
  CImagingStartup startup{DefaultGdiplus()};
  GdiApi& gdi = DefaultGdi();
};

struct Layout {
  int32_t width, height;
  int32_t pitch;
  size_t blockBytes;
  bool bottomUp;
};

TEST_F(ImageTest, CreateGivesThePlatformLayout) {
  const Layout cases[] = {
      {256, 192, -768, 147456, true},
      {1366, 4, -4100, 16400, true},  // 4098 bytes of pixels, 2 of filler
      {256, -192, 768, 147456, false},
      {1, 1, -4, 4, true},
      {3, -2, 12, 24, false},
  };
  for (const Layout& c : cases) {
    SCOPED_TRACE(std::to_string(c.width) + "x" + std::to_string(c.height));
    CImage image(pool, startup);
    ASSERT_TRUE(image.Create(c.width, c.height, 24, 0));
    const int32_t rows = c.height < 0 ? -c.height : c.height;
    EXPECT_EQ(image.GetWidth(), c.width);
    EXPECT_EQ(image.GetHeight(), rows);
    EXPECT_EQ(image.GetPitch(), c.pitch);
    EXPECT_EQ(image.GetBPP(), 24);
    EXPECT_TRUE(image.IsDIBSection());
    EXPECT_FALSE(image.HasAlphaChannel());
    EXPECT_EQ(image.GetTransparentColor(), -1);

    BitmapDescription d;
    ASSERT_TRUE(gdi.DescribeBitmap(image.GetBitmap(), &d));
    ASSERT_TRUE(d.isSection);
    auto* block = static_cast<uint8_t*>(d.bits);
    auto* bits = static_cast<uint8_t*>(image.GetBits());
    EXPECT_EQ(bits - block, c.bottomUp ? static_cast<ptrdiff_t>(c.blockBytes) + c.pitch : 0);
    EXPECT_EQ(std::vector<uint8_t>(block, block + c.blockBytes), std::vector<uint8_t>(c.blockBytes, 0));
  }
}

TEST_F(ImageTest, CreateRefusesWhatThePlatformRefuses) {
  const int32_t sizes[][3] = {{0, 192, 24}, {256, 0, 24}, {-4, 4, 24}, {4, 4, 7}};
  for (const auto& s : sizes) {
    SCOPED_TRACE(std::to_string(s[0]) + "x" + std::to_string(s[1]) + "x" + std::to_string(s[2]));
    CImage image(pool, startup);
    EXPECT_FALSE(image.Create(s[0], s[1], s[2], 0));
    EXPECT_TRUE(image.IsNull());
    EXPECT_EQ(image.GetBits(), nullptr);
    EXPECT_EQ(image.GetPitch(), 0);
  }
}

TEST_F(ImageTest, AlphaFlagAndDestroyResetTheFields) {
  CImage image(pool, startup);
  ASSERT_TRUE(image.Create(8, 8, 32, CImage::kCreateAlphaChannel));
  EXPECT_TRUE(image.HasAlphaChannel());
  EXPECT_EQ(image.GetPitch(), -32);
  EXPECT_FALSE(image.Create(8, 8, 24, 0)) << "a second Create would lose the first bitmap";
  image.Destroy();
  EXPECT_TRUE(image.IsNull());
  EXPECT_EQ(image.GetBits(), nullptr);
  EXPECT_EQ(image.GetWidth(), 0);
  EXPECT_EQ(image.GetHeight(), 0);
  EXPECT_EQ(image.GetBPP(), 0);
  EXPECT_FALSE(image.HasAlphaChannel());
  EXPECT_FALSE(image.IsDIBSection());
  EXPECT_EQ(image.GetTransparentColor(), -1);
  EXPECT_TRUE(image.Create(4, 4, 24, 0)) << "an emptied image can be created again";
}

// The row pitch and bits pointer must agree with how the platform draws: a pixel written
// through them lands where a copy into a top-down picture finds it.
TEST_F(ImageTest, BitsAndPitchAgreeWithDrawing) {
  for (int32_t height : {5, -5}) {
    SCOPED_TRACE(height);
    CImage source(pool, startup), target(pool, startup);
    ASSERT_TRUE(source.Create(7, height, 24, 0));
    ASSERT_TRUE(target.Create(7, -5, 24, 0));
    Fill(source, [](int32_t x, int32_t y) { return static_cast<uint32_t>(0x102030 + x * 0x010000 + y * 0x000100); });
    {
      CImageDrawScope s(source), t(target);
      gdi.Blit(t, 0, 0, 7, 5, s, 0, 0, kRopSrcCopy | kRopCaptureBlt);
    }
    for (int32_t y = 0; y < 5; ++y)
      for (int32_t x = 0; x < 7; ++x)
        ASSERT_EQ(ReadRgb(target, x, y), static_cast<uint32_t>(0x102030 + x * 0x010000 + y * 0x000100))
            << x << "," << y;
  }
}

TEST_F(ImageTest, CopyOutsideTheSourceLeavesTheDestinationAlone) {
  CImage desk(pool, startup), view(pool, startup);
  ASSERT_TRUE(desk.Create(40, 30, 24, 0));
  ASSERT_TRUE(view.Create(16, 12, 24, 0));
  Fill(desk, [](int32_t, int32_t) { return 0x00FF8040u; });
  CImageDrawScope v(view), d(desk);
  ASSERT_TRUE(gdi.Blit(v, 0, 0, 16, 12, d, 30, 25, kRopSrcCopy));
  for (int32_t y = 0; y < 12; ++y)
    for (int32_t x = 0; x < 16; ++x)
      ASSERT_EQ(ReadRgb(view, x, y), (x < 10 && y < 5) ? 0x00FF8040u : 0u) << x << "," << y;
}

// The capture's full view: a 1920 x 1080 desktop of uniform blocks keeps its colours when
// halftoned into 256 x 192, and the stretch fills the whole view.
TEST_F(ImageTest, HalftoneStretchOfADesktopKeepsUniformBlocks) {
  const uint32_t colors[3][4] = {
      {0xFF0000, 0x00FF00, 0x0000FF, 0xFFFFFF},
      {0x102030, 0xFFFF00, 0x00FFFF, 0xFF00FF},
      {0x808080, 0x204060, 0xC08040, 0x406020},
  };
  CImage view(pool, startup), desk(pool, startup);
  ASSERT_TRUE(view.Create(256, 192, 24, 0));
  ASSERT_TRUE(desk.Create(1920, 1080, 24, 0));
  Fill(desk, [&](int32_t x, int32_t y) { return colors[y / 360][x / 480]; });
  {
    CImageDrawScope v(view), d(desk);
    gdi.SetStretchMode(v, kStretchModeHalftone);
    ASSERT_TRUE(gdi.StretchBlit(v, 0, 0, 256, 192, d, 0, 0, 1920, 1080, kRopSrcCopy));
  }
  for (int by = 0; by < 3; ++by)
    for (int bx = 0; bx < 4; ++bx)
      for (auto [dx, dy] : {std::pair{32, 32}, std::pair{4, 4}, std::pair{59, 59}})
        EXPECT_EQ(ReadRgb(view, bx * 64 + dx, by * 64 + dy), colors[by][bx])
            << "block " << bx << "," << by << " at " << dx << "," << dy;
}

TEST_F(ImageTest, DrawContextIsUseCountedAndPooled) {
  CImage image(pool, startup);
  ASSERT_TRUE(image.Create(4, 4, 24, 0));
  const DcHandle first = image.GetDC();
  ASSERT_NE(first, nullptr);
  EXPECT_EQ(image.GetDC(), first);
  EXPECT_EQ(image.GetDCUseCount(), 2);
  image.ReleaseDC();
  EXPECT_EQ(image.GetCurrentDC(), first) << "still in use once";
  EXPECT_EQ(pool.Peek(0), nullptr);
  image.ReleaseDC();
  EXPECT_EQ(image.GetCurrentDC(), nullptr);
  EXPECT_EQ(image.GetDCUseCount(), 0);
  EXPECT_EQ(pool.Peek(0), first);
  image.ReleaseDC();  // one too many changes nothing
  EXPECT_EQ(image.GetDCUseCount(), 0);
  EXPECT_EQ(pool.Peek(1), nullptr);

  // The bitmap was selected out again: it can be freed, and the next image reuses the context.
  CImage other(pool, startup);
  ASSERT_TRUE(other.Create(4, 4, 24, 0));
  CImageDrawScope scope(other);
  EXPECT_EQ(scope.Context(), first);
  EXPECT_EQ(pool.Peek(0), nullptr);
  image.Destroy();
  EXPECT_TRUE(image.IsNull());
}

// A bitmap can be in one drawing context at a time: while another holds it, the image has
// no drawing context to give, keeps no use and returns the pooled one unchanged.
TEST_F(ImageTest, RefusedSelectLeavesNoUseAndReturnsTheContext) {
  CImage image(pool, startup);
  ASSERT_TRUE(image.Create(4, 4, 24, 0));
  const DcHandle other = gdi.CreateMemoryContext();
  ASSERT_NE(other, nullptr);
  const BitmapHandle stock = gdi.SelectInto(other, image.GetBitmap());
  ASSERT_NE(stock, nullptr);

  EXPECT_EQ(image.GetDC(), nullptr);
  EXPECT_EQ(image.GetDCUseCount(), 0);
  EXPECT_EQ(image.GetCurrentDC(), nullptr);
  const DcHandle pooled = pool.Peek(0);
  EXPECT_NE(pooled, nullptr);
  EXPECT_THROW(CImageDrawScope scope(image), CAtlException);
  EXPECT_EQ(image.GetDCUseCount(), 0);
  EXPECT_EQ(pool.Peek(0), pooled);
  EXPECT_EQ(pool.Peek(1), nullptr);

  // Once free, the bitmap is drawn through the same context and comes out of it again.
  ASSERT_NE(gdi.SelectInto(other, stock), nullptr);
  {
    CImageDrawScope scope(image);
    EXPECT_EQ(scope.Context(), pooled);
  }
  EXPECT_EQ(pool.Peek(0), pooled);
  EXPECT_NE(gdi.SelectInto(other, image.GetBitmap()), nullptr);
  EXPECT_NE(gdi.SelectInto(other, stock), nullptr);
  EXPECT_TRUE(gdi.DeleteContext(other));
}

TEST_F(ImageTest, PoolKeepsFourAndDeletesTheOneItPushesOut) {
  DcHandle dc[5];
  for (DcHandle& h : dc) {
    h = gdi.CreateMemoryContext();
    ASSERT_NE(h, nullptr);
  }
  for (int i = 0; i < 4; ++i) pool.Return(dc[i]);
  EXPECT_EQ(pool.Peek(0), dc[3]);
  EXPECT_EQ(pool.Peek(3), dc[0]);
  pool.Return(dc[4]);
  const DcHandle expected[] = {dc[4], dc[3], dc[2], dc[1]};
  for (int i = 0; i < 4; ++i) EXPECT_EQ(pool.Peek(i), expected[i]) << "slot " << i;
  EXPECT_FALSE(gdi.DeleteContext(dc[0])) << "the context pushed out of slot 3 was deleted";

  // Taking gives the most recent first, then makes new ones once the pool is empty.
  for (const DcHandle& want : expected) EXPECT_EQ(pool.Take(), want);
  const DcHandle fresh = pool.Take();
  ASSERT_NE(fresh, nullptr);
  for (const DcHandle& h : expected) EXPECT_NE(fresh, h);
  for (const DcHandle& h : expected) EXPECT_TRUE(gdi.DeleteContext(h));
  EXPECT_TRUE(gdi.DeleteContext(fresh));
}

TEST_F(ImageTest, LibraryRunsWhileImagesLive) {
  ScratchDir dir;
  {
    CImage a(pool, startup);
    EXPECT_EQ(startup.LiveImages(), 1);
    EXPECT_FALSE(startup.IsStarted()) << "started lazily, by Save";
    ASSERT_TRUE(a.Create(16, 16, 24, 0));
    {
      CImage b(pool, startup);
      EXPECT_EQ(a.Save(dir.File("a.jpg").c_str()), kSOk);
      EXPECT_TRUE(startup.IsStarted());
    }
    EXPECT_EQ(startup.LiveImages(), 1);
    EXPECT_TRUE(startup.IsStarted()) << "one image still lives";
  }
  EXPECT_EQ(startup.LiveImages(), 0);
  EXPECT_FALSE(startup.IsStarted());

  CImage again(pool, startup);
  ASSERT_TRUE(again.Create(16, 16, 24, 0));
  EXPECT_EQ(again.Save(dir.File("again.jpg").c_str()), kSOk);
  EXPECT_TRUE(startup.IsStarted());
  EXPECT_TRUE(std::filesystem::exists(dir.File("again.jpg")));
}

struct SaveCase {
  const char* name;
  HResult status;
  const char* magic;  // first bytes of the file, or null for no file
};

TEST_F(ImageTest, SaveChoosesTheEncoderByExtension) {
  ScratchDir dir;
  std::filesystem::create_directory(dir.Path() / "taken.jpg");
  const SaveCase cases[] = {
      {"full.jpg", kSOk, "\xFF\xD8\xFF"},
      {"FULL2.JPG", kSOk, "\xFF\xD8\xFF"},
      {"x.jpeg", kSOk, "\xFF\xD8\xFF"},
      {"x.Jfif", kSOk, "\xFF\xD8\xFF"},
      {"x.bmp", kSOk, "BM"},
      {"noextension", kEFail, nullptr},
      {"unknown.xyz", kEFail, nullptr},
      {"trailing.", kEFail, nullptr},
      {"no_such_dir/x.jpg", kEFail, nullptr},
      {"taken.jpg", kEFail, nullptr},  // a directory stands there
  };
  CImage image(pool, startup);
  ASSERT_TRUE(image.Create(32, 24, 24, 0));
  for (const SaveCase& c : cases) {
    SCOPED_TRACE(c.name);
    const std::string path = dir.File(c.name);
    EXPECT_EQ(image.Save(path.c_str()), c.status);
    if (c.magic != nullptr) {
      const auto bytes = testing::ReadFileBytes(path);
      ASSERT_GE(bytes.size(), std::strlen(c.magic));
      EXPECT_EQ(std::memcmp(bytes.data(), c.magic, std::strlen(c.magic)), 0);
    } else if (std::string(c.name) != "taken.jpg") {
      EXPECT_FALSE(std::filesystem::exists(path));
    }
  }
}

TEST_F(ImageTest, SaveFailsForAnImageNeverCreated) {
  ScratchDir dir;
  CImage image(pool, startup);
  EXPECT_EQ(image.Save(dir.File("empty.jpg").c_str()), kEFail);
  EXPECT_FALSE(std::filesystem::exists(dir.File("empty.jpg")));
  EXPECT_EQ(image.Save(nullptr), kEFail);
}

TEST_F(ImageTest, ExplicitFileTypeWinsOverTheExtension) {
  ScratchDir dir;
  CImage image(pool, startup);
  ASSERT_TRUE(image.Create(8, 8, 24, 0));
  EXPECT_EQ(image.Save(dir.File("really_bmp.jpg").c_str(), kImageFormatBmp), kSOk);
  EXPECT_EQ(testing::ReadFileBytes(dir.File("really_bmp.jpg")).at(0), 'B');
  const Guid unknown{1, 2, 3, {4, 5, 6, 7, 8, 9, 10, 11}};
  EXPECT_EQ(image.Save(dir.File("x.jpg").c_str(), unknown), kEFail);
}

// The encoder list as the library publishes it.
class EncoderListTest : public ImageTest {
 protected:
  void SetUp() override {
    ASSERT_TRUE(startup.Startup());
    GdiplusApi& lib = startup.Library();
    uint32_t size = 0;
    ASSERT_EQ(lib.GetImageEncodersSize(&count, &size), kGpOk);
    block.resize(size / sizeof(CodecInfo) + 1);
    ASSERT_EQ(lib.GetImageEncoders(count, size, block.data()), kGpOk);
  }
  const CodecInfo* Jpeg() const {
    for (uint32_t i = 0; i < count; ++i)
      if (block[i].formatId == kImageFormatJpeg) return &block[i];
    return nullptr;
  }
  std::vector<CodecInfo> block;
  uint32_t count = 0;
};

TEST_F(EncoderListTest, JpegIsListedWithThePlatformPatterns) {
  const CodecInfo* jpeg = Jpeg();
  ASSERT_NE(jpeg, nullptr);
  EXPECT_EQ(std::u16string(jpeg->filenameExtension), u"*.JPG;*.JPEG;*.JPE;*.JFIF");
  EXPECT_EQ(FindEncoderForFileType(kImageFormatJpeg, block.data(), count), jpeg->clsid);
  EXPECT_EQ(FindEncoderForFileType(kNullGuid, block.data(), count), kNullGuid);
}

TEST_F(EncoderListTest, ExtensionMatchingIgnoresCase) {
  const CodecInfo* jpeg = Jpeg();
  ASSERT_NE(jpeg, nullptr);
  GdiplusApi& lib = startup.Library();
  for (const char* ext : {".jpg", ".JPG", ".jPeG", ".jpe", ".JFIF"})
    EXPECT_EQ(FindEncoderForExtension(lib, ext, block.data(), count), jpeg->clsid) << ext;
  for (const char* ext : {"", ".jp", ".jpgx", "jpg", ".", ".JPG;"})
    EXPECT_EQ(FindEncoderForExtension(lib, ext, block.data(), count), kNullGuid) << ext;
}

TEST_F(ImageTest, PathExtensionIsTakenFromTheLastComponent) {
  const std::pair<const char*, const char*> cases[] = {
      {"bufferfull.jpg", ".jpg"}, {"a.b.c", ".c"},       {"noext", ""},
      {"dir.d\\file", ""},        {"dir\\x.JPG", ".JPG"}, {".hidden", ".hidden"},
      {"name.", "."},             {"a.jpg b", ""},
  };
  GdiplusApi& lib = DefaultGdiplus();
  for (const auto& c : cases) EXPECT_STREQ(lib.FindExtension(c.first), c.second) << c.first;
  EXPECT_EQ(std::u16string(lib.FindExtension(u"x.y\\pic.Jpeg")), u".Jpeg");
}

// A picture of known colour blocks survives the JPEG round trip within a small tolerance.
TEST_F(ImageTest, WrittenJpegDecodesToTheSamePicture) {
  const uint32_t colors[3][4] = {
      {0xFF0000, 0x00FF00, 0x0000FF, 0xFFFFFF},
      {0x000000, 0xFFFF00, 0x00FFFF, 0xFF00FF},
      {0x808080, 0x204060, 0xC08040, 0x406020},
  };
  ScratchDir dir;
  for (int32_t height : {192, -192}) {
    SCOPED_TRACE(height);
    CImage image(pool, startup);
    ASSERT_TRUE(image.Create(256, height, 24, 0));
    Fill(image, [&](int32_t x, int32_t y) { return colors[y / 64][x / 64]; });
    const std::string path = dir.File("blocks.jpg");
    ASSERT_EQ(image.Save(path.c_str()), kSOk);
    EXPECT_LT(testing::ReadFileBytes(path).size(), 30000u) << "must fit the transfer limit";

    DecodedPicture picture;
    ASSERT_TRUE(DecodePictureFile(path, &picture));
    ASSERT_EQ(picture.width, 256);
    ASSERT_EQ(picture.height, 192);
    for (int by = 0; by < 3; ++by)
      for (int bx = 0; bx < 4; ++bx)
        for (auto [dx, dy] : {std::pair{32, 32}, std::pair{8, 8}, std::pair{56, 56}})
          EXPECT_LE(ChannelDistance(picture.At(bx * 64 + dx, by * 64 + dy), colors[by][bx]), 12)
              << "block " << bx << "," << by << " at " << dx << "," << dy;
  }
}

TEST_F(ImageTest, BmpKeepsEveryPixel) {
  ScratchDir dir;
  CImage image(pool, startup);
  ASSERT_TRUE(image.Create(5, 3, 24, 0));
  Fill(image, [](int32_t x, int32_t y) { return static_cast<uint32_t>(x * 0x300000 + y * 0x5000 + 7); });
  ASSERT_EQ(image.Save(dir.File("p.bmp").c_str()), kSOk);
  DecodedPicture picture;
  ASSERT_TRUE(DecodePictureFile(dir.File("p.bmp"), &picture));
  ASSERT_EQ(picture.width, 5);
  ASSERT_EQ(picture.height, 3);
  for (int32_t y = 0; y < 3; ++y)
    for (int32_t x = 0; x < 5; ++x) EXPECT_EQ(picture.At(x, y), ReadRgb(image, x, y)) << x << "," << y;
}

struct IconCase {
  const char* what;
  uint8_t keep;
  uint32_t xorColor;
  uint32_t before;
  uint32_t after;
};

// Icons are drawn through their masks: AND with the mask, then XOR with the colour.
TEST_F(ImageTest, IconDrawsThroughItsMasks) {
  const IconCase cases[] = {
      {"transparent", 1, 0x000000, 0x123456, 0x123456},
      {"opaque", 0, 0x00C080, 0x123456, 0x00C080},
      {"inverting", 1, 0xFFFFFF, 0x123456, 0xEDCBA9},
      {"black", 0, 0x000000, 0x123456, 0x000000},
  };
  for (const IconCase& c : cases) {
    SCOPED_TRACE(c.what);
    IconPixels pixels;
    pixels.width = pixels.height = 32;
    pixels.andMask.assign(32 * 32, c.keep);
    pixels.xorColor.assign(32 * 32, c.xorColor);
    const IconHandle icon = gdi.CreateIconFromPixels(pixels);
    ASSERT_NE(icon, nullptr);
    CImage image(pool, startup);
    ASSERT_TRUE(image.Create(40, 40, 24, 0));
    Fill(image, [&](int32_t, int32_t) { return c.before; });
    {
      CImageDrawScope scope(image);
      EXPECT_TRUE(gdi.DrawIconAt(scope, 4, 4, icon));
    }
    EXPECT_EQ(ReadRgb(image, 10, 10), c.after);
    EXPECT_EQ(ReadRgb(image, 3, 3), c.before);
    EXPECT_EQ(ReadRgb(image, 36, 36), c.before);
    EXPECT_TRUE(gdi.FreeIcon(icon));
  }
}

// A cursor whose hot spot lies left of and above the picture's corner shows in part.
TEST_F(ImageTest, IconIsClippedAtThePictureEdges) {
  IconPixels pixels;
  pixels.width = pixels.height = 32;
  pixels.hotX = pixels.hotY = 8;
  pixels.andMask.assign(32 * 32, 0);
  pixels.xorColor.resize(32 * 32);
  for (int32_t y = 0; y < 32; ++y)
    for (int32_t x = 0; x < 32; ++x) pixels.xorColor[static_cast<size_t>(y) * 32 + x] = static_cast<uint32_t>((x << 16) | (y << 8) | 0x80);
  const IconHandle icon = gdi.CreateIconFromPixels(pixels);
  ASSERT_NE(icon, nullptr);
  const IconHandle copy = gdi.CopyIconHandle(icon);
  ASSERT_NE(copy, nullptr);
  IconDescription info;
  ASSERT_TRUE(gdi.DescribeIcon(copy, &info));
  EXPECT_EQ(info.hotX, 8u);
  EXPECT_EQ(info.hotY, 8u);

  CImage image(pool, startup);
  ASSERT_TRUE(image.Create(30, 20, 24, 0));
  {
    CImageDrawScope scope(image);
    const int32_t px = 3, py = 3;  // pointer position
    EXPECT_TRUE(gdi.DrawIconAt(scope, px - static_cast<int32_t>(info.hotX), py - static_cast<int32_t>(info.hotY), copy));
    EXPECT_TRUE(gdi.DrawIconAt(scope, 20, 10, copy));  // past the right and bottom edges
  }
  EXPECT_EQ(ReadRgb(image, 0, 0), 0x050580u);    // icon pixel (5, 5)
  EXPECT_EQ(ReadRgb(image, 26, 0), 0x1F0580u);   // icon pixel (31, 5)
  EXPECT_EQ(ReadRgb(image, 19, 15), 0x181480u);  // icon pixel (24, 20)
  EXPECT_EQ(ReadRgb(image, 27, 0), 0u);
  EXPECT_EQ(ReadRgb(image, 28, 5), 0u);
  EXPECT_EQ(ReadRgb(image, 29, 19), 0x090980u);  // icon pixel (9, 9) from the second draw

  EXPECT_TRUE(gdi.FreeBitmap(info.mask));
  if (info.color != nullptr) {
    EXPECT_TRUE(gdi.FreeBitmap(info.color));
  }
  EXPECT_TRUE(gdi.FreeIcon(copy));
  EXPECT_TRUE(gdi.FreeIcon(icon));
}

}  // namespace
}  // namespace ravelo
