// Save's steps, their order and their status codes, with the library's answers scripted;
// and the drawing-context paths that must not leak when a context cannot be had.
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>

#include "imaging/image.h"
#include "imaging/soft/soft_gdi.h"
#include "imaging/soft/soft_gdiplus.h"
#include "imaging_recording_gdiplus.h"
#include "imaging_test_support.h"

namespace ravelo {
namespace {

using testing::RecordingGdiplus;
using testing::ScratchDir;

class SaveStepsTest : public ::testing::Test {
 protected:
  SoftGdi& gdi = SoftGdi::Default();
  SoftGdiplus& real = SoftGdiplus::Default();
  RecordingGdiplus library{real};
  CDrawContextPool pool{gdi};
  CImagingStartup startup{library};
  ScratchDir dir;

  size_t Count(const std::string& call) const {
    return static_cast<size_t>(std::count(library.calls.begin(), library.calls.end(), call));
  }
};

struct Failure {
  const char* call;
  HResult status;
  const char* lastCallBefore;  // nothing after this one may be asked for
};

TEST_F(SaveStepsTest, EachFailingStepGivesItsStatus) {
  const Failure failures[] = {
      {"Startup", kEFail, "Startup"},
      {"GetImageEncodersSize", kEFail, "GetImageEncodersSize"},
      {"GetImageEncoders", kEFail, "GetImageEncoders"},
      {"CreateBitmapFromSection", kEFail, "CreateBitmapFromSection"},
      {"SaveImageToFile", kEFail, "DisposeImage"},
  };
  for (const Failure& f : failures) {
    SCOPED_TRACE(f.call);
    const size_t imagesBefore = real.LiveImages();
    {
      CImage image(pool, startup);
      ASSERT_TRUE(image.Create(8, 8, 24, 0));
      library.calls.clear();
      library.failWith = {{f.call, kGpGenericError}};
      EXPECT_EQ(image.Save(dir.File("x.jpg").c_str()), f.status);
      ASSERT_FALSE(library.calls.empty());
      EXPECT_EQ(library.calls.back(), f.lastCallBefore);
      EXPECT_FALSE(std::filesystem::exists(dir.File("x.jpg")));
    }
    EXPECT_EQ(real.LiveImages(), imagesBefore) << "every native image disposed of";
  }
}

TEST_F(SaveStepsTest, StepsRunInOrderAndTheBitmapIsDisposed) {
  CImage image(pool, startup);
  ASSERT_TRUE(image.Create(8, 8, 24, 0));
  library.calls.clear();
  ASSERT_EQ(image.Save(dir.File("ok.jpg").c_str()), kSOk);
  const std::vector<std::string> expected = {
      "Startup",      "GetImageEncodersSize",    "GetImageEncoders", "NarrowToWide",
      "NarrowToWide", "NarrowToWide",            "CreateBitmapFromSection",
      "SaveImageToFile", "DisposeImage"};
  EXPECT_EQ(library.calls, expected);
  EXPECT_EQ(library.lastPath.substr(library.lastPath.size() - 6), u"ok.jpg");

  library.calls.clear();
  ASSERT_EQ(image.Save(dir.File("again.jpg").c_str()), kSOk);
  EXPECT_EQ(Count("Startup"), 0u) << "started once while images live";
}

TEST_F(SaveStepsTest, UnconvertiblePathIsOutOfMemory) {
  CImage image(pool, startup);
  ASSERT_TRUE(image.Create(8, 8, 24, 0));
  // The extension converts (first two conversions), the whole path does not.
  struct FailThird : RecordingGdiplus {
    using RecordingGdiplus::RecordingGdiplus;
    int seen = 0;
    int32_t NarrowToWide(const char* t, int32_t b, char16_t* o, int32_t n) override {
      return ++seen >= 3 ? 0 : RecordingGdiplus::NarrowToWide(t, b, o, n);
    }
  } failing(real);
  CImagingStartup guard(failing);
  CImage other(pool, guard);
  ASSERT_TRUE(other.Create(8, 8, 24, 0));
  EXPECT_EQ(other.Save(dir.File("x.jpg").c_str()), kEOutOfMemory);
  EXPECT_EQ(std::count(failing.calls.begin(), failing.calls.end(), "CreateBitmapFromSection"), 0);
}

TEST_F(SaveStepsTest, UnconvertibleExtensionRaisesThePlatformError) {
  CImage image(pool, startup);
  ASSERT_TRUE(image.Create(8, 8, 24, 0));
  library.failConversion = true;
  library.conversionError = 1113;
  try {
    (void)image.Save(dir.File("x.jpg").c_str());
    FAIL() << "expected CAtlException";
  } catch (const CAtlException& e) {
    EXPECT_EQ(e.Status(), static_cast<HResult>(0x80070459u));
  }
}

TEST_F(SaveStepsTest, AlphaImagesGoThroughTheirRowsOnlyAt32Bits) {
  CImage deep(pool, startup), flat(pool, startup);
  ASSERT_TRUE(deep.Create(6, 4, 32, CImage::kCreateAlphaChannel));
  ASSERT_TRUE(flat.Create(6, 4, 24, CImage::kCreateAlphaChannel));
  library.calls.clear();
  EXPECT_EQ(deep.Save(dir.File("deep.bmp").c_str()), kSOk);
  EXPECT_EQ(Count("CreateBitmapFromScan0"), 1u);
  EXPECT_EQ(library.lastStride, -24);
  EXPECT_EQ(library.lastFormat, kPixelFormat32bppArgb);
  library.calls.clear();
  // A 24-bit picture read as 32-bit rows would be read past its end.
  EXPECT_EQ(flat.Save(dir.File("flat.jpg").c_str()), kSOk);
  EXPECT_EQ(Count("CreateBitmapFromScan0"), 0u);
  EXPECT_EQ(Count("CreateBitmapFromSection"), 1u);
}

TEST_F(SaveStepsTest, StartupFailureIsRetriedAndShutdownFollowsTheCount) {
  {
    CImage image(pool, startup);
    ASSERT_TRUE(image.Create(8, 8, 24, 0));
    library.failWith = {{"Startup", kGpGenericError}};
    EXPECT_EQ(image.Save(dir.File("x.jpg").c_str()), kEFail);
    EXPECT_FALSE(startup.IsStarted());
    library.failWith.clear();
    EXPECT_EQ(image.Save(dir.File("x.jpg").c_str()), kSOk);
    EXPECT_TRUE(startup.IsStarted());
    library.calls.clear();
  }
  EXPECT_EQ(library.calls, std::vector<std::string>{"Shutdown"});
  EXPECT_FALSE(startup.IsStarted());
  EXPECT_FALSE(real.IsStarted());
}

// A pool whose backend can make no more contexts.
class NoContextGdi : public SoftGdi {
 public:
  DcHandle CreateMemoryContext() override { return nullptr; }
};

TEST_F(SaveStepsTest, RefusedDrawContextRaisesAndLeavesNoUse) {
  NoContextGdi noContexts;
  CDrawContextPool empty(noContexts);
  CImage image(empty, startup);
  ASSERT_TRUE(image.Create(8, 8, 24, 0));
  try {
    CImageDrawScope scope(image);
    FAIL() << "expected CAtlException";
  } catch (const CAtlException& e) {
    EXPECT_EQ(e.Status(), kEOutOfMemory);
  }
  EXPECT_EQ(image.GetDCUseCount(), 0) << "a refused use is not counted";
  EXPECT_EQ(image.GetCurrentDC(), nullptr);
}

TEST_F(SaveStepsTest, CaptureLikeUseLeaksNothing) {
  const size_t bitmaps = gdi.LiveBitmaps();
  const size_t contexts = gdi.LiveContexts();
  for (int round = 0; round < 3; ++round) {
    CImage view(pool, startup), desk(pool, startup);
    ASSERT_TRUE(view.Create(256, 192, 24, 0));
    ASSERT_TRUE(desk.Create(640, 480, 24, 0));
    CImageDrawScope v(view), d(desk);
    gdi.SetStretchMode(v, kStretchModeHalftone);
    gdi.StretchBlit(v, 0, 0, 256, 192, d, 0, 0, 640, 480, kRopSrcCopy);
    ASSERT_EQ(view.Save(dir.File("bufferfull.jpg").c_str()), kSOk);
  }
  EXPECT_EQ(gdi.LiveBitmaps(), bitmaps);
  EXPECT_EQ(gdi.LiveContexts(), contexts + 2) << "the capture's two contexts wait in the pool";
}

}  // namespace
}  // namespace ravelo
