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
    : m_pool(pool), m_startup(startup) {
  m_startup.IncreaseImageCount();
}

CImage::~CImage() {
  Destroy();
  m_startup.DecreaseImageCount();
}

bool CImage::Create(int32_t width, int32_t height, int32_t bitsPerPixel, uint32_t flags) {
  // A second Create would lose the first bitmap.
  if (m_hBitmap != nullptr) return false;

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
  if ((flags & kCreateAlphaChannel) != 0) m_bHasAlphaChannel = true;
  return true;
}

void CImage::Attach(BitmapHandle bitmap, Orientation orientation) {
  m_hBitmap = bitmap;
  UpdateBitmapInfo(orientation);
}

void CImage::UpdateBitmapInfo(Orientation orientation) {
  BitmapDescription d;
  if (!Gdi().DescribeBitmap(m_hBitmap, &d)) d = BitmapDescription{};
  if (d.isSection) {
    m_bIsDIBSection = true;
    m_nWidth = d.header.width;
    m_nHeight = d.header.height < 0 ? -d.header.height : d.header.height;
    m_nBPP = d.header.bitCount;
    m_nPitch = static_cast<int32_t>(DibRowBytes(m_nWidth, m_nBPP));
    m_pBits = d.bits;
    if (orientation == Orientation::kFromHeader)
      orientation = d.header.height > 0 ? Orientation::kBottomUp : Orientation::kTopDown;
    if (orientation == Orientation::kBottomUp) {
      m_pBits = static_cast<uint8_t*>(m_pBits) + static_cast<ptrdiff_t>(m_nHeight - 1) * m_nPitch;
      m_nPitch = -m_nPitch;
    }
  } else {
    m_bIsDIBSection = false;
    m_nWidth = d.width;
    m_nHeight = d.height;
    m_nBPP = d.bitsPerPixel;
    m_nPitch = 0;
    m_pBits = nullptr;
  }
  m_iTransparentColor = -1;
  m_bHasAlphaChannel = false;
}

void CImage::Destroy() {
  if (m_hBitmap == nullptr) return;
  BitmapHandle bitmap = m_hBitmap;
  m_hBitmap = nullptr;
  m_pBits = nullptr;
  m_nWidth = 0;
  m_nHeight = 0;
  m_nBPP = 0;
  m_nPitch = 0;
  m_iTransparentColor = -1;
  m_bHasAlphaChannel = false;
  m_bIsDIBSection = false;
  Gdi().FreeBitmap(bitmap);
}

DcHandle CImage::GetDC() {
  ++m_nDCRefCount;
  if (m_hDC == nullptr) {
    m_hDC = m_pool.Take();
    if (m_hDC == nullptr) {
      // Nobody will release a use that was refused.
      --m_nDCRefCount;
      return nullptr;
    }
    m_hOldBitmap = Gdi().SelectInto(m_hDC, m_hBitmap);
    if (m_hOldBitmap == nullptr) {
      // The bitmap is not in the context (it is held by another, or there is none): a use
      // of it would draw nowhere, and its release would have nothing to select back.
      m_pool.Return(m_hDC);
      m_hDC = nullptr;
      --m_nDCRefCount;
      return nullptr;
    }
  }
  return m_hDC;
}

void CImage::ReleaseDC() {
  if (m_nDCRefCount <= 0 || m_hDC == nullptr) return;
  if (--m_nDCRefCount == 0) {
    Gdi().SelectInto(m_hDC, m_hOldBitmap);
    m_pool.Return(m_hDC);
    m_hDC = nullptr;
    m_hOldBitmap = nullptr;
  }
}

namespace {

bool IsNullGuid(const Guid& g) { return g == kNullGuid; }

struct FreeOperatorNew {
  void operator()(void* p) const { ::operator delete(p); }
};

}  // namespace

HResult CImage::Save(const char* path, const Guid& fileType) const {
  if (!m_startup.Startup()) return kEFail;
  GdiplusApi& library = m_startup.Library();

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
  if (m_bHasAlphaChannel && m_nBPP == 32) {
    Bitmap bitmap(library, m_nWidth, m_nHeight, m_nPitch, kPixelFormat32bppArgb,
                  static_cast<uint8_t*>(m_pBits));
    if (bitmap.Save(widePath.get(), encoder) != kGpOk) return kEFail;
  } else {
    Bitmap bitmap(library, m_hBitmap);
    if (bitmap.Save(widePath.get(), encoder) != kGpOk) return kEFail;
  }
  return kSOk;
}

CImageDrawScope::CImageDrawScope(CImage& image) : m_image(image), m_hDC(image.GetDC()) {
  if (m_hDC == nullptr) throw CAtlException(kEOutOfMemory);
}

CImageDrawScope::~CImageDrawScope() { m_image.ReleaseDC(); }

}  // namespace ravelo
