#include "imaging/soft/soft_gdi.h"

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <limits>

namespace ravelo {

namespace {

struct FreeBlock {
  void operator()(uint8_t* p) const { std::free(p); }
};

// Sections larger than this are refused, as the platform refuses them.
constexpr int64_t kMaxSectionBytes = std::numeric_limits<int32_t>::max();

bool RopIsCopy(uint32_t rop) { return (rop & ~kRopCaptureBlt) == kRopSrcCopy; }

int32_t BytesPerPixel(int32_t bitsPerPixel) { return bitsPerPixel / 8; }

}  // namespace

struct SoftGdi::Bitmap {
  BitmapInfoHeader header{};
  int32_t width = 0;
  int32_t height = 0;
  int32_t bitsPerPixel = 0;
  int64_t rowBytes = 0;
  bool topDown = false;
  bool section = false;
  bool stock = false;
  std::unique_ptr<uint8_t, FreeBlock> storage;
  Context* selectedIn = nullptr;

  SurfaceView View() const {
    SurfaceView v;
    v.width = width;
    v.height = height;
    v.bitsPerPixel = bitsPerPixel;
    if (topDown) {
      v.top = storage.get();
      v.pitch = static_cast<ptrdiff_t>(rowBytes);
    } else {
      v.top = storage.get() + static_cast<ptrdiff_t>(rowBytes) * (height - 1);
      v.pitch = -static_cast<ptrdiff_t>(rowBytes);
    }
    return v;
  }
};

struct SoftGdi::Context {
  Bitmap* bitmap = nullptr;
  int stretchMode = 1;  // BLACKONWHITE, the platform's default
  std::unique_ptr<Bitmap> screen;
};

struct SoftGdi::Icon {
  int32_t width = 0;
  int32_t height = 0;
  uint32_t hotX = 0;
  uint32_t hotY = 0;
  std::vector<uint8_t> andMask;
  std::vector<uint8_t> xorBgr;
};

namespace {

std::unique_ptr<SoftGdi::Bitmap> MakeBitmap(int32_t width, int32_t height, int32_t bitsPerPixel,
                                            bool topDown) {
  if (width <= 0 || height <= 0 || (bitsPerPixel != 24 && bitsPerPixel != 32)) return nullptr;
  const int64_t rowBytes = DibRowBytes(width, bitsPerPixel);
  if (rowBytes > kMaxSectionBytes / height) return nullptr;
  auto bitmap = std::make_unique<SoftGdi::Bitmap>();
  // calloc: a new picture is black, and large zeroed blocks come cheap from the system.
  bitmap->storage.reset(static_cast<uint8_t*>(std::calloc(static_cast<size_t>(rowBytes * height), 1)));
  if (!bitmap->storage) return nullptr;
  bitmap->width = width;
  bitmap->height = height;
  bitmap->bitsPerPixel = bitsPerPixel;
  bitmap->rowBytes = rowBytes;
  bitmap->topDown = topDown;
  bitmap->header.size = sizeof(BitmapInfoHeader);
  bitmap->header.width = width;
  bitmap->header.height = topDown ? -height : height;
  bitmap->header.planes = 1;
  bitmap->header.bitCount = static_cast<uint16_t>(bitsPerPixel);
  bitmap->header.compression = kBiRgb;
  bitmap->header.sizeImage = static_cast<uint32_t>(rowBytes * height);
  return bitmap;
}

void PutRgb(uint8_t* p, uint32_t rgb) {
  p[0] = static_cast<uint8_t>(rgb);
  p[1] = static_cast<uint8_t>(rgb >> 8);
  p[2] = static_cast<uint8_t>(rgb >> 16);
}

// Copies `rows` rows of `count` pixels; handles overlap within one bitmap.
void CopyRows(const SurfaceView& dst, int64_t dx, int64_t dy, const SurfaceView& src, int64_t sx,
              int64_t sy, int64_t count, int64_t rows) {
  const int32_t db = BytesPerPixel(dst.bitsPerPixel);
  const int32_t sb = BytesPerPixel(src.bitsPerPixel);
  const bool upward = dst.top == src.top && dy > sy;  // copy from the bottom then
  for (int64_t r = 0; r < rows; ++r) {
    const int64_t i = upward ? rows - 1 - r : r;
    uint8_t* d = dst.Row(static_cast<int32_t>(dy + i)) + dx * db;
    const uint8_t* s = src.Row(static_cast<int32_t>(sy + i)) + sx * sb;
    if (db == sb) {
      std::memmove(d, s, static_cast<size_t>(count * db));
    } else {
      for (int64_t k = 0; k < count; ++k, d += db, s += sb) {
        d[0] = s[0];
        d[1] = s[1];
        d[2] = s[2];
        if (db == 4) d[3] = 0;
      }
    }
  }
}

}  // namespace

SoftGdi::SoftGdi() : stock_(MakeBitmap(1, 1, 24, false)) {
  stock_->stock = true;
  stock_->section = false;
}

SoftGdi::~SoftGdi() {
  for (const void* p : contexts_) delete static_cast<const Context*>(p);
  for (const void* p : bitmaps_) delete static_cast<const Bitmap*>(p);
  for (const void* p : icons_) delete static_cast<const Icon*>(p);
}

SoftGdi& SoftGdi::Default() {
  static SoftGdi gdi;
  return gdi;
}

SoftGdi::Bitmap* SoftGdi::FindBitmap(BitmapHandle handle) const {
  const void* p = handle;
  if (p == stock_.get()) return stock_.get();
  return bitmaps_.count(p) != 0 ? static_cast<Bitmap*>(const_cast<void*>(p)) : nullptr;
}

SoftGdi::Context* SoftGdi::FindContext(DcHandle handle) const {
  const void* p = handle;
  return contexts_.count(p) != 0 ? static_cast<Context*>(const_cast<void*>(p)) : nullptr;
}

SoftGdi::Icon* SoftGdi::FindIcon(IconHandle handle) const {
  const void* p = handle;
  return icons_.count(p) != 0 ? static_cast<Icon*>(const_cast<void*>(p)) : nullptr;
}

BitmapHandle SoftGdi::AddBitmap(std::unique_ptr<Bitmap> bitmap) {
  Bitmap* raw = bitmap.get();
  bitmaps_.insert(raw);
  bitmap.release();
  return reinterpret_cast<BitmapHandle>(raw);
}

bool SoftGdi::ViewOf(Context* dc, SurfaceView* out) const {
  if (dc == nullptr || dc->bitmap == nullptr) return false;
  *out = dc->bitmap->View();
  return true;
}

BitmapHandle SoftGdi::CreateSection(const BitmapInfoBlock& info, void** bits) {
  const BitmapInfoHeader& h = info.header;
  if (bits != nullptr) *bits = nullptr;
  if (h.size < sizeof(BitmapInfoHeader) || h.planes != 1 || h.compression != kBiRgb) return nullptr;
  if (h.height == 0 || h.height == std::numeric_limits<int32_t>::min()) return nullptr;
  const bool topDown = h.height < 0;
  auto bitmap = MakeBitmap(h.width, topDown ? -h.height : h.height, h.bitCount, topDown);
  if (!bitmap) return nullptr;
  bitmap->section = true;
  std::lock_guard<std::mutex> hold(lock_);
  if (bits != nullptr) *bits = bitmap->storage.get();
  return AddBitmap(std::move(bitmap));
}

bool SoftGdi::DescribeBitmap(BitmapHandle handle, BitmapDescription* out) {
  std::lock_guard<std::mutex> hold(lock_);
  Bitmap* b = FindBitmap(handle);
  if (b == nullptr || out == nullptr) return false;
  *out = BitmapDescription{};
  out->isSection = b->section;
  out->width = b->width;
  out->height = b->height;
  out->bitsPerPixel = b->bitsPerPixel;
  if (b->section) {
    out->header = b->header;
    out->bits = b->storage.get();
  }
  return true;
}

bool SoftGdi::FreeBitmap(BitmapHandle handle) {
  std::lock_guard<std::mutex> hold(lock_);
  Bitmap* b = FindBitmap(handle);
  // A bitmap still selected into a context cannot go, as on the platform.
  if (b == nullptr || b->stock || b->selectedIn != nullptr) return false;
  bitmaps_.erase(b);
  delete b;
  return true;
}

DcHandle SoftGdi::CreateMemoryContext() {
  auto dc = std::make_unique<Context>();
  dc->bitmap = stock_.get();
  std::lock_guard<std::mutex> hold(lock_);
  Context* raw = dc.release();
  contexts_.insert(raw);
  return reinterpret_cast<DcHandle>(raw);
}

DcHandle SoftGdi::CreateScreenContext(int32_t width, int32_t height,
                                      const std::vector<uint32_t>& rgb) {
  if (width <= 0 || height <= 0 ||
      rgb.size() != static_cast<size_t>(width) * static_cast<size_t>(height))
    return nullptr;
  auto picture = MakeBitmap(width, height, 24, true);
  if (!picture) return nullptr;
  const SurfaceView v = picture->View();
  for (int32_t y = 0; y < height; ++y) {
    uint8_t* p = v.Row(y);
    for (int32_t x = 0; x < width; ++x, p += 3) PutRgb(p, rgb[static_cast<size_t>(y) * width + x]);
  }
  auto dc = std::make_unique<Context>();
  dc->screen = std::move(picture);
  dc->bitmap = dc->screen.get();
  dc->bitmap->selectedIn = dc.get();
  std::lock_guard<std::mutex> hold(lock_);
  Context* raw = dc.release();
  contexts_.insert(raw);
  return reinterpret_cast<DcHandle>(raw);
}

bool SoftGdi::DeleteContext(DcHandle handle) {
  std::lock_guard<std::mutex> hold(lock_);
  Context* dc = FindContext(handle);
  if (dc == nullptr) return false;
  if (dc->bitmap != nullptr && !dc->bitmap->stock) dc->bitmap->selectedIn = nullptr;
  contexts_.erase(dc);
  delete dc;
  return true;
}

BitmapHandle SoftGdi::SelectInto(DcHandle handle, BitmapHandle bitmap) {
  std::lock_guard<std::mutex> hold(lock_);
  Context* dc = FindContext(handle);
  Bitmap* b = FindBitmap(bitmap);
  if (dc == nullptr || b == nullptr) return nullptr;
  if (!b->stock && b->selectedIn != nullptr && b->selectedIn != dc) return nullptr;
  Bitmap* previous = dc->bitmap;
  if (previous != nullptr && !previous->stock) previous->selectedIn = nullptr;
  dc->bitmap = b;
  if (!b->stock) b->selectedIn = dc;
  return reinterpret_cast<BitmapHandle>(previous);
}

bool SoftGdi::Blit(DcHandle dstHandle, int32_t x, int32_t y, int32_t width, int32_t height,
                   DcHandle srcHandle, int32_t srcX, int32_t srcY, uint32_t rop) {
  if (width < 0 || height < 0) return false;
  if (rop == kRopBlackness) return FillBlack(dstHandle, x, y, width, height);
  if (!RopIsCopy(rop)) return false;
  std::lock_guard<std::mutex> hold(lock_);
  SurfaceView dst, src;
  if (!ViewOf(FindContext(dstHandle), &dst) || !ViewOf(FindContext(srcHandle), &src)) return false;
  // Only the part that lies inside both pictures is copied; the rest of the destination
  // stays as it was.
  const int64_t x0 = std::max<int64_t>({0, -int64_t{x}, -int64_t{srcX}});
  const int64_t x1 = std::min<int64_t>({width, int64_t{dst.width} - x, int64_t{src.width} - srcX});
  const int64_t y0 = std::max<int64_t>({0, -int64_t{y}, -int64_t{srcY}});
  const int64_t y1 = std::min<int64_t>({height, int64_t{dst.height} - y, int64_t{src.height} - srcY});
  if (x0 < x1 && y0 < y1) CopyRows(dst, x + x0, y + y0, src, srcX + x0, srcY + y0, x1 - x0, y1 - y0);
  return true;
}

bool SoftGdi::FillBlack(DcHandle dstHandle, int32_t x, int32_t y, int32_t width, int32_t height) {
  std::lock_guard<std::mutex> hold(lock_);
  SurfaceView dst;
  if (!ViewOf(FindContext(dstHandle), &dst)) return false;
  const int64_t x0 = std::max<int64_t>(0, x);
  const int64_t x1 = std::min<int64_t>(int64_t{x} + width, dst.width);
  const int64_t y0 = std::max<int64_t>(0, y);
  const int64_t y1 = std::min<int64_t>(int64_t{y} + height, dst.height);
  const int32_t bpp = BytesPerPixel(dst.bitsPerPixel);
  for (int64_t row = y0; row < y1 && x0 < x1; ++row) {
    std::memset(dst.Row(static_cast<int32_t>(row)) + x0 * bpp, 0, static_cast<size_t>((x1 - x0) * bpp));
  }
  return true;
}

bool SoftGdi::StretchBlit(DcHandle dstHandle, int32_t x, int32_t y, int32_t width, int32_t height,
                          DcHandle srcHandle, int32_t srcX, int32_t srcY, int32_t srcWidth,
                          int32_t srcHeight, uint32_t rop) {
  if (!RopIsCopy(rop) || width <= 0 || height <= 0 || srcWidth <= 0 || srcHeight <= 0) return false;
  std::lock_guard<std::mutex> hold(lock_);
  Context* dc = FindContext(dstHandle);
  SurfaceView dst, src;
  if (!ViewOf(dc, &dst) || !ViewOf(FindContext(srcHandle), &src)) return false;
  if (srcX < 0 || srcY < 0 || int64_t{srcX} + srcWidth > src.width ||
      int64_t{srcY} + srcHeight > src.height)
    return false;
  SurfaceView area = src;
  area.top = src.Row(srcY) + static_cast<ptrdiff_t>(srcX) * BytesPerPixel(src.bitsPerPixel);
  area.width = srcWidth;
  area.height = srcHeight;

  // Within one picture the source is taken aside first.
  std::vector<uint8_t> aside;
  if (dst.top == src.top) {
    const int32_t bpp = BytesPerPixel(src.bitsPerPixel);
    const size_t row = static_cast<size_t>(srcWidth) * bpp;
    aside.resize(row * static_cast<size_t>(srcHeight));
    for (int32_t r = 0; r < srcHeight; ++r) std::memcpy(&aside[row * r], area.Row(r), row);
    area.top = aside.data();
    area.pitch = static_cast<ptrdiff_t>(row);
  }
  return dc->stretchMode == kStretchModeHalftone
             ? HalftoneStretch(dst, x, y, width, height, area)
             : NearestStretch(dst, x, y, width, height, area);
}

int SoftGdi::SetStretchMode(DcHandle handle, int mode) {
  if (mode < 1 || mode > 4) return 0;
  std::lock_guard<std::mutex> hold(lock_);
  Context* dc = FindContext(handle);
  if (dc == nullptr) return 0;
  const int previous = dc->stretchMode;
  dc->stretchMode = mode;
  return previous;
}

IconHandle SoftGdi::CreateIconFromPixels(const IconPixels& pixels) {
  if (pixels.width <= 0 || pixels.height <= 0 || pixels.width > 1024 || pixels.height > 1024)
    return nullptr;
  const size_t n = static_cast<size_t>(pixels.width) * static_cast<size_t>(pixels.height);
  if (pixels.andMask.size() != n || (!pixels.xorColor.empty() && pixels.xorColor.size() != n))
    return nullptr;
  auto icon = std::make_unique<Icon>();
  icon->width = pixels.width;
  icon->height = pixels.height;
  icon->hotX = pixels.hotX;
  icon->hotY = pixels.hotY;
  icon->andMask.resize(n);
  icon->xorBgr.assign(n * 3, 0);
  for (size_t i = 0; i < n; ++i) {
    icon->andMask[i] = pixels.andMask[i] != 0 ? 0xFF : 0x00;
    if (!pixels.xorColor.empty()) PutRgb(&icon->xorBgr[i * 3], pixels.xorColor[i]);
  }
  std::lock_guard<std::mutex> hold(lock_);
  Icon* raw = icon.release();
  icons_.insert(raw);
  return reinterpret_cast<IconHandle>(raw);
}

IconHandle SoftGdi::CopyIconHandle(IconHandle handle) {
  std::lock_guard<std::mutex> hold(lock_);
  Icon* icon = FindIcon(handle);
  if (icon == nullptr) return nullptr;
  Icon* copy = new Icon(*icon);
  icons_.insert(copy);
  return reinterpret_cast<IconHandle>(copy);
}

bool SoftGdi::DescribeIcon(IconHandle handle, IconDescription* out) {
  std::lock_guard<std::mutex> hold(lock_);
  Icon* icon = FindIcon(handle);
  if (icon == nullptr || out == nullptr) return false;
  auto mask = MakeBitmap(icon->width, icon->height, 24, true);
  auto color = MakeBitmap(icon->width, icon->height, 24, true);
  if (!mask || !color) return false;
  const SurfaceView mv = mask->View();
  const SurfaceView cv = color->View();
  for (int32_t y = 0; y < icon->height; ++y) {
    const size_t first = static_cast<size_t>(y) * icon->width;
    std::memcpy(cv.Row(y), &icon->xorBgr[first * 3], static_cast<size_t>(icon->width) * 3);
    for (int32_t x = 0; x < icon->width; ++x)
      std::memset(mv.Row(y) + x * 3, icon->andMask[first + x], 3);
  }
  out->hotX = icon->hotX;
  out->hotY = icon->hotY;
  out->mask = AddBitmap(std::move(mask));
  out->color = AddBitmap(std::move(color));
  return true;
}

bool SoftGdi::DrawIconAt(DcHandle handle, int32_t x, int32_t y, IconHandle iconHandle) {
  std::lock_guard<std::mutex> hold(lock_);
  Icon* icon = FindIcon(iconHandle);
  SurfaceView dst;
  if (icon == nullptr || !ViewOf(FindContext(handle), &dst)) return false;
  const int32_t db = BytesPerPixel(dst.bitsPerPixel);
  const int64_t x0 = std::max<int64_t>(0, -int64_t{x});
  const int64_t x1 = std::min<int64_t>(icon->width, int64_t{dst.width} - x);
  const int64_t y0 = std::max<int64_t>(0, -int64_t{y});
  const int64_t y1 = std::min<int64_t>(icon->height, int64_t{dst.height} - y);
  for (int64_t iy = y0; iy < y1; ++iy) {
    uint8_t* d = dst.Row(static_cast<int32_t>(y + iy)) + (x + x0) * db;
    const size_t first = static_cast<size_t>(iy) * icon->width;
    for (int64_t ix = x0; ix < x1; ++ix, d += db) {
      const uint8_t keep = icon->andMask[first + ix];
      const uint8_t* c = &icon->xorBgr[(first + ix) * 3];
      d[0] = static_cast<uint8_t>((d[0] & keep) ^ c[0]);
      d[1] = static_cast<uint8_t>((d[1] & keep) ^ c[1]);
      d[2] = static_cast<uint8_t>((d[2] & keep) ^ c[2]);
    }
  }
  return true;
}

bool SoftGdi::FreeIcon(IconHandle handle) {
  std::lock_guard<std::mutex> hold(lock_);
  Icon* icon = FindIcon(handle);
  if (icon == nullptr) return false;
  icons_.erase(icon);
  delete icon;
  return true;
}

bool SoftGdi::Surface(BitmapHandle handle, SurfaceView* out) {
  std::lock_guard<std::mutex> hold(lock_);
  Bitmap* b = FindBitmap(handle);
  if (b == nullptr || out == nullptr) return false;
  *out = b->View();
  return true;
}

bool SoftGdi::ContextSurface(DcHandle handle, SurfaceView* out) {
  std::lock_guard<std::mutex> hold(lock_);
  return out != nullptr && ViewOf(FindContext(handle), out);
}

size_t SoftGdi::LiveBitmaps() const {
  std::lock_guard<std::mutex> hold(lock_);
  return bitmaps_.size();
}

size_t SoftGdi::LiveContexts() const {
  std::lock_guard<std::mutex> hold(lock_);
  return contexts_.size();
}

size_t SoftGdi::LiveIcons() const {
  std::lock_guard<std::mutex> hold(lock_);
  return icons_.size();
}

GdiApi& DefaultGdi() { return SoftGdi::Default(); }

}  // namespace ravelo
