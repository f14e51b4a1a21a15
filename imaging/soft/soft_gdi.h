// The drawing calls done in memory: sections in the platform's layout (BGR, rows of whole
// 32-bit words, bottom-up or top-down), memory contexts, copies, the halftone stretch and
// icons drawn through AND/XOR masks. Handles are checked, so a stale or foreign one fails
// the call instead of corrupting memory.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <mutex>
#include <unordered_set>
#include <vector>

#include "imaging/gdi_api.h"

namespace ravelo {

// Where a bitmap's pixels are: row 0 is the top row; pitch may be negative.
struct SurfaceView {
  uint8_t* top = nullptr;
  ptrdiff_t pitch = 0;
  int32_t width = 0;
  int32_t height = 0;
  int32_t bitsPerPixel = 0;
  uint8_t* Row(int32_t y) const { return top + pitch * y; }
};

class SoftGdi : public GdiApi {
 public:
  SoftGdi();
  ~SoftGdi() override;
  SoftGdi(const SoftGdi&) = delete;
  SoftGdi& operator=(const SoftGdi&) = delete;

  static SoftGdi& Default();

  BitmapHandle CreateSection(const BitmapInfoBlock& info, void** bits) override;
  bool DescribeBitmap(BitmapHandle bitmap, BitmapDescription* out) override;
  bool FreeBitmap(BitmapHandle bitmap) override;
  DcHandle CreateMemoryContext() override;
  bool DeleteContext(DcHandle dc) override;
  BitmapHandle SelectInto(DcHandle dc, BitmapHandle bitmap) override;
  bool Blit(DcHandle dst, int32_t x, int32_t y, int32_t width, int32_t height, DcHandle src,
            int32_t srcX, int32_t srcY, uint32_t rop) override;
  bool StretchBlit(DcHandle dst, int32_t x, int32_t y, int32_t width, int32_t height,
                   DcHandle src, int32_t srcX, int32_t srcY, int32_t srcWidth, int32_t srcHeight,
                   uint32_t rop) override;
  int SetStretchMode(DcHandle dc, int mode) override;
  IconHandle CreateIconFromPixels(const IconPixels& pixels) override;
  IconHandle CopyIconHandle(IconHandle icon) override;
  bool DescribeIcon(IconHandle icon, IconDescription* out) override;
  bool DrawIconAt(DcHandle dc, int32_t x, int32_t y, IconHandle icon) override;
  bool FreeIcon(IconHandle icon) override;

  // A drawing context that reads like a screen showing `rgb` (0x00RRGGBB, rows from the
  // top). It owns its picture; DeleteContext frees both.
  DcHandle CreateScreenContext(int32_t width, int32_t height, const std::vector<uint32_t>& rgb);

  bool Surface(BitmapHandle bitmap, SurfaceView* out);
  bool ContextSurface(DcHandle dc, SurfaceView* out);

  size_t LiveBitmaps() const;
  size_t LiveContexts() const;
  size_t LiveIcons() const;

  struct Bitmap;
  struct Context;
  struct Icon;

 private:
  bool FillBlack(DcHandle dst, int32_t x, int32_t y, int32_t width, int32_t height);
  Bitmap* FindBitmap(BitmapHandle handle) const;
  Context* FindContext(DcHandle handle) const;
  Icon* FindIcon(IconHandle handle) const;
  BitmapHandle AddBitmap(std::unique_ptr<Bitmap> bitmap);
  bool ViewOf(Context* dc, SurfaceView* out) const;

  mutable std::mutex lock_;
  std::unordered_set<const void*> bitmaps_;
  std::unordered_set<const void*> contexts_;
  std::unordered_set<const void*> icons_;
  std::unique_ptr<Bitmap> stock_;  // what a new context holds: one black pixel
};

// Area-averaging stretch of `src` (whole view) onto the rectangle (x, y, width, height) of
// `dst`, clipped to `dst`. Each destination pixel is the rounded mean of the source area
// that falls on it, partial pixels weighted by their share. Views must not overlap.
bool HalftoneStretch(const SurfaceView& dst, int32_t x, int32_t y, int32_t width, int32_t height,
                     const SurfaceView& src);
// Nearest-pixel stretch (the other stretch modes), same geometry.
bool NearestStretch(const SurfaceView& dst, int32_t x, int32_t y, int32_t width, int32_t height,
                    const SurfaceView& src);

}  // namespace ravelo
