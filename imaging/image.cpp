#include "imaging/image.h"

#include <climits>
#include <cstring>
#include <memory>
#include <new>

#include "imaging/find_encoder.h"
#include "imaging/gdiplus_image.h"

namespace ravelo {

CImage::CImage() : CImage(CDrawContextPool::Instance(), CImagingStartup::Instance()) {}

CImage::CImage(CDrawContextPool& pool, CImagingStartup& startup)
    : pool_(pool), startup_(startup) {
  startup_.IncreaseImageCount();
}

CImage::~CImage() {
  Destroy();
  startup_.DecreaseImageCount();
}

bool CImage::Create(int32_t width, int32_t height, int32_t bitsPerPixel, uint32_t flags) {
  // A second Create would lose the first bitmap.
  if (bitmap_ != nullptr) return false;

  std::unique_ptr<BitmapInfoBlock> info(new (std::nothrow) BitmapInfoBlock);
  if (!info) return false;
  std::memset(&info->header, 0, sizeof info->header);
  info->header.size = sizeof(BitmapInfoHeader);
  info->header.width = width;
  info->header.height = height;
  info->header.planes = 1;
  info->header.bitCount = static_cast<uint16_t>(bitsPerPixel);
  info->header.compression = kBiRgb;
  if (bitsPerPixel <= 8) std::memset(info->colors, 0, sizeof info->colors);

  void* bits = nullptr;
  BitmapHandle bitmap = Gdi().CreateSection(*info, &bits);
  if (bitmap == nullptr) return false;

  Attach(bitmap, height >= 0 ? Orientation::kBottomUp : Orientation::kTopDown);
  if ((flags & kCreateAlphaChannel) != 0) has_alpha_channel_ = true;
  return true;
}

void CImage::Attach(BitmapHandle bitmap, Orientation orientation) {
  bitmap_ = bitmap;
  UpdateBitmapInfo(orientation);
}

void CImage::UpdateBitmapInfo(Orientation orientation) {
  BitmapDescription d;
  if (!Gdi().DescribeBitmap(bitmap_, &d)) d = BitmapDescription{};
  if (d.isSection) {
    is_dib_section_ = true;
    width_ = d.header.width;
    height_ = d.header.height < 0 ? -d.header.height : d.header.height;
    bpp_ = d.header.bitCount;
    pitch_ = static_cast<int32_t>(DibRowBytes(width_, bpp_));
    bits_ = d.bits;
    if (orientation == Orientation::kFromHeader)
      orientation = d.header.height > 0 ? Orientation::kBottomUp : Orientation::kTopDown;
    if (orientation == Orientation::kBottomUp) {
      bits_ = static_cast<uint8_t*>(bits_) + static_cast<ptrdiff_t>(height_ - 1) * pitch_;
      pitch_ = -pitch_;
    }
  } else {
    is_dib_section_ = false;
    width_ = d.width;
    height_ = d.height;
    bpp_ = d.bitsPerPixel;
    pitch_ = 0;
    bits_ = nullptr;
  }
  transparent_color_ = -1;
  has_alpha_channel_ = false;
}

void CImage::Destroy() {
  if (bitmap_ == nullptr) return;
  BitmapHandle bitmap = bitmap_;
  bitmap_ = nullptr;
  bits_ = nullptr;
  width_ = 0;
  height_ = 0;
  bpp_ = 0;
  pitch_ = 0;
  transparent_color_ = -1;
  has_alpha_channel_ = false;
  is_dib_section_ = false;
  Gdi().FreeBitmap(bitmap);
}

DcHandle CImage::GetDC() {
  ++dc_ref_count_;
  if (dc_ == nullptr) {
    dc_ = pool_.Take();
    if (dc_ == nullptr) {
      // Nobody will release a use that was refused.
      --dc_ref_count_;
      return nullptr;
    }
    old_bitmap_ = Gdi().SelectInto(dc_, bitmap_);
    if (old_bitmap_ == nullptr) {
      // The bitmap is not in the context (it is held by another, or there is none): a use
      // of it would draw nowhere, and its release would have nothing to select back.
      pool_.Return(dc_);
      dc_ = nullptr;
      --dc_ref_count_;
      return nullptr;
    }
  }
  return dc_;
}

void CImage::ReleaseDC() {
  if (dc_ref_count_ <= 0 || dc_ == nullptr) return;
  if (--dc_ref_count_ == 0) {
    Gdi().SelectInto(dc_, old_bitmap_);
    pool_.Return(dc_);
    dc_ = nullptr;
    old_bitmap_ = nullptr;
  }
}

namespace {

bool IsNullGuid(const Guid& g) { return g == kNullGuid; }

struct FreeOperatorNew {
  void operator()(void* p) const { ::operator delete(p); }
};

}  // namespace

HResult CImage::Save(const char* path, const Guid& fileType) const {
  if (!startup_.Startup()) return kEFail;
  GdiplusApi& library = startup_.Library();

  uint32_t count = 0;
  uint32_t size = 0;
  if (library.GetImageEncodersSize(&count, &size) != kGpOk) return kEFail;
  // Too small a block for the records it should hold would be read past its end.
  if (static_cast<uint64_t>(count) * sizeof(CodecInfo) > size) return kEFail;

  std::unique_ptr<void, FreeOperatorNew> block(::operator new(size == 0 ? 1 : size, std::nothrow));
  if (!block) return kEOutOfMemory;
  auto* encoders = static_cast<CodecInfo*>(block.get());
  if (library.GetImageEncoders(count, size, encoders) != kGpOk) return kEFail;

  Guid encoder = kNullGuid;
  if (IsNullGuid(fileType)) {
    const char* extension = path != nullptr ? library.FindExtension(path) : nullptr;
    encoder = FindEncoderForExtension(library, extension, encoders, count);
  } else {
    encoder = FindEncoderForFileType(fileType, encoders, count);
  }
  if (IsNullGuid(encoder)) return kEFail;

  std::unique_ptr<char16_t[]> widePath;
  if (path != nullptr) {
    const size_t n = std::strlen(path) + 1;
    if (n <= static_cast<size_t>(INT32_MAX / 2)) {
      widePath.reset(new (std::nothrow) char16_t[n]);
      if (widePath &&
          library.NarrowToWide(path, static_cast<int32_t>(n), widePath.get(),
                               static_cast<int32_t>(n)) == 0) {
        widePath.reset();
      }
    }
  }
  if (!widePath) return kEOutOfMemory;

  // The library reads 32-bit rows from its scan0 source: only a 32-bit image can go that way.
  if (has_alpha_channel_ && bpp_ == 32) {
    Bitmap bitmap(library, width_, height_, pitch_, kPixelFormat32bppArgb,
                  static_cast<uint8_t*>(bits_));
    if (bitmap.Save(widePath.get(), encoder) != kGpOk) return kEFail;
  } else {
    Bitmap bitmap(library, bitmap_);
    if (bitmap.Save(widePath.get(), encoder) != kGpOk) return kEFail;
  }
  return kSOk;
}

CImageDrawScope::CImageDrawScope(CImage& image) : image_(image), dc_(image.GetDC()) {
  if (dc_ == nullptr) throw CAtlException(kEOutOfMemory);
}

CImageDrawScope::~CImageDrawScope() { image_.ReleaseDC(); }

}  // namespace ravelo
