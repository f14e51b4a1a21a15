// Under Wine the written files are read back through GDI+'s own decoders, with a
// start-up of their own.
#define NOMINMAX
#include <windows.h>
#include <gdiplus.h>

#include <string>

#include "imaging_test_support.h"

namespace ravelo::testing {

namespace {

class GdiplusSession {
 public:
  GdiplusSession() {
    Gdiplus::GdiplusStartupInput input;
    ok_ = Gdiplus::GdiplusStartup(&token_, &input, nullptr) == Gdiplus::Ok;
  }
  ~GdiplusSession() {
    if (ok_) Gdiplus::GdiplusShutdown(token_);
  }
  bool Ok() const { return ok_; }

 private:
  ULONG_PTR token_ = 0;
  bool ok_ = false;
};

class BitmapOwner {
 public:
  ~BitmapOwner() {
    if (bitmap != nullptr) Gdiplus::DllExports::GdipDisposeImage(bitmap);
  }
  Gdiplus::GpBitmap* bitmap = nullptr;
};

}  // namespace

bool DecodePictureFile(const std::string& path, DecodedPicture* out) {
  namespace gp = Gdiplus::DllExports;
  GdiplusSession session;
  if (!session.Ok()) return false;
  const std::wstring wide(path.begin(), path.end());
  BitmapOwner owner;
  if (gp::GdipCreateBitmapFromFile(wide.c_str(), &owner.bitmap) != Gdiplus::Ok) return false;
  UINT w = 0, h = 0;
  gp::GdipGetImageWidth(owner.bitmap, &w);
  gp::GdipGetImageHeight(owner.bitmap, &h);
  out->width = static_cast<int32_t>(w);
  out->height = static_cast<int32_t>(h);
  out->rgb.assign(static_cast<size_t>(w) * h, 0);
  for (UINT y = 0; y < h; ++y)
    for (UINT x = 0; x < w; ++x) {
      Gdiplus::ARGB argb = 0;
      if (gp::GdipBitmapGetPixel(owner.bitmap, static_cast<INT>(x), static_cast<INT>(y), &argb) != Gdiplus::Ok)
        return false;
      out->rgb[static_cast<size_t>(y) * w + x] = argb & 0x00FFFFFFu;
    }
  return true;
}

}  // namespace ravelo::testing
