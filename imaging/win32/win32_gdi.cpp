// The drawing calls, straight to GDI and USER.
#define NOMINMAX
#include <windows.h>

#include <cstddef>
#include <vector>

#include "imaging/gdi_api.h"
#include "imaging/win32/handle_cast.h"

namespace ravelo {

static_assert(sizeof(BitmapInfoHeader) == sizeof(BITMAPINFOHEADER), "BITMAPINFOHEADER");
static_assert(offsetof(BitmapInfoBlock, colors) == offsetof(BITMAPINFO, bmiColors), "BITMAPINFO");
static_assert(sizeof(RgbQuad) == sizeof(RGBQUAD), "RGBQUAD");

namespace {

// Owns a GDI object made for a moment, such as the bitmaps an icon is built from.
class GdiObjectOwner {
 public:
  explicit GdiObjectOwner(HGDIOBJ object) : object_(object) {}
  ~GdiObjectOwner() {
    if (object_ != nullptr) DeleteObject(object_);
  }
  GdiObjectOwner(const GdiObjectOwner&) = delete;
  GdiObjectOwner& operator=(const GdiObjectOwner&) = delete;
  HGDIOBJ Get() const { return object_; }

 private:
  HGDIOBJ object_;
};

class Win32Gdi : public GdiApi {
 public:
  BitmapHandle CreateSection(const BitmapInfoBlock& info, void** bits) override {
    return As<BitmapHandle>(CreateDIBSection(nullptr, As<const BITMAPINFO*>(&info), DIB_RGB_COLORS,
                                             bits, nullptr, 0));
  }

  bool DescribeBitmap(BitmapHandle bitmap, BitmapDescription* out) override {
    DIBSECTION ds{};
    const int got = GetObjectA(As<HBITMAP>(bitmap), sizeof ds, &ds);
    *out = BitmapDescription{};
    if (got == static_cast<int>(sizeof ds)) {
      out->isSection = true;
      static_assert(sizeof out->header == sizeof ds.dsBmih, "header");
      memcpy(&out->header, &ds.dsBmih, sizeof out->header);
      out->bits = ds.dsBm.bmBits;
    } else if (got != static_cast<int>(sizeof(BITMAP))) {
      return false;
    }
    out->width = ds.dsBm.bmWidth;
    out->height = ds.dsBm.bmHeight;
    out->bitsPerPixel = ds.dsBm.bmBitsPixel;
    return true;
  }

  bool FreeBitmap(BitmapHandle bitmap) override { return DeleteObject(As<HBITMAP>(bitmap)) != FALSE; }

  DcHandle CreateMemoryContext() override { return As<DcHandle>(CreateCompatibleDC(nullptr)); }

  bool DeleteContext(DcHandle dc) override { return DeleteDC(As<HDC>(dc)) != FALSE; }

  BitmapHandle SelectInto(DcHandle dc, BitmapHandle bitmap) override {
    HGDIOBJ previous = SelectObject(As<HDC>(dc), As<HGDIOBJ>(bitmap));
    return previous == HGDI_ERROR ? nullptr : As<BitmapHandle>(previous);
  }

  bool Blit(DcHandle dst, int32_t x, int32_t y, int32_t width, int32_t height, DcHandle src,
            int32_t srcX, int32_t srcY, uint32_t rop) override {
    return BitBlt(As<HDC>(dst), x, y, width, height, As<HDC>(src), srcX, srcY, rop) != FALSE;
  }

  bool StretchBlit(DcHandle dst, int32_t x, int32_t y, int32_t width, int32_t height, DcHandle src,
                   int32_t srcX, int32_t srcY, int32_t srcWidth, int32_t srcHeight,
                   uint32_t rop) override {
    return StretchBlt(As<HDC>(dst), x, y, width, height, As<HDC>(src), srcX, srcY, srcWidth,
                      srcHeight, rop) != FALSE;
  }

  int SetStretchMode(DcHandle dc, int mode) override {
    const int previous = SetStretchBltMode(As<HDC>(dc), mode);
    // Halftoning wants the brush origin reset after the mode changes.
    if (mode == HALFTONE) SetBrushOrgEx(As<HDC>(dc), 0, 0, nullptr);
    return previous;
  }

  IconHandle CreateIconFromPixels(const IconPixels& p) override {
    const size_t n = static_cast<size_t>(p.width) * static_cast<size_t>(p.height);
    if (p.width <= 0 || p.height <= 0 || p.andMask.size() != n ||
        (!p.xorColor.empty() && p.xorColor.size() != n))
      return nullptr;
    // The AND mask is a monochrome bitmap with rows of whole 16-bit words.
    const size_t maskRow = static_cast<size_t>((p.width + 15) / 16) * 2;
    std::vector<uint8_t> maskBits(maskRow * static_cast<size_t>(p.height), 0);
    for (int32_t y = 0; y < p.height; ++y)
      for (int32_t x = 0; x < p.width; ++x)
        if (p.andMask[static_cast<size_t>(y) * p.width + x] != 0)
          maskBits[maskRow * y + x / 8] |= static_cast<uint8_t>(0x80 >> (x % 8));
    GdiObjectOwner mask(CreateBitmap(p.width, p.height, 1, 1, maskBits.data()));

    BITMAPINFO info{};
    info.bmiHeader.biSize = sizeof info.bmiHeader;
    info.bmiHeader.biWidth = p.width;
    info.bmiHeader.biHeight = -p.height;
    info.bmiHeader.biPlanes = 1;
    info.bmiHeader.biBitCount = 24;
    info.bmiHeader.biCompression = BI_RGB;
    void* bits = nullptr;
    GdiObjectOwner color(CreateDIBSection(nullptr, &info, DIB_RGB_COLORS, &bits, nullptr, 0));
    if (mask.Get() == nullptr || color.Get() == nullptr) return nullptr;
    const size_t row = static_cast<size_t>(DibRowBytes(p.width, 24));
    for (int32_t y = 0; y < p.height && !p.xorColor.empty(); ++y)
      for (int32_t x = 0; x < p.width; ++x) {
        const uint32_t rgb = p.xorColor[static_cast<size_t>(y) * p.width + x];
        uint8_t* px = static_cast<uint8_t*>(bits) + row * y + static_cast<size_t>(x) * 3;
        px[0] = static_cast<uint8_t>(rgb);
        px[1] = static_cast<uint8_t>(rgb >> 8);
        px[2] = static_cast<uint8_t>(rgb >> 16);
      }
    GdiFlush();

    ICONINFO ii{};
    ii.fIcon = FALSE;  // a cursor keeps its hot spot
    ii.xHotspot = p.hotX;
    ii.yHotspot = p.hotY;
    ii.hbmMask = static_cast<HBITMAP>(mask.Get());
    ii.hbmColor = static_cast<HBITMAP>(color.Get());
    return As<IconHandle>(CreateIconIndirect(&ii));
  }

  IconHandle CopyIconHandle(IconHandle icon) override { return As<IconHandle>(CopyIcon(As<HICON>(icon))); }

  bool DescribeIcon(IconHandle icon, IconDescription* out) override {
    ICONINFO ii{};
    if (GetIconInfo(As<HICON>(icon), &ii) == FALSE) return false;
    out->hotX = ii.xHotspot;
    out->hotY = ii.yHotspot;
    out->mask = As<BitmapHandle>(ii.hbmMask);
    out->color = As<BitmapHandle>(ii.hbmColor);
    return true;
  }

  bool DrawIconAt(DcHandle dc, int32_t x, int32_t y, IconHandle icon) override {
    return DrawIcon(As<HDC>(dc), x, y, As<HICON>(icon)) != FALSE;
  }

  bool FreeIcon(IconHandle icon) override { return DestroyIcon(As<HICON>(icon)) != FALSE; }
};

}  // namespace

GdiApi& DefaultGdi() {
  static Win32Gdi gdi;
  return gdi;
}

}  // namespace ravelo
