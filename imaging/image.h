// CImage: an in-memory 24-bit picture with a use-counted drawing context, written to a
// file by the imaging library's encoder that the file name's extension selects.
#pragma once

#include <cstdint>

#include "imaging/draw_context_pool.h"
#include "imaging/gdi_api.h"
#include "imaging/gdiplus_api.h"
#include "imaging/imaging_startup.h"
#include "imaging/status.h"

namespace ravelo {

class CImage {
 public:
  static constexpr uint32_t kCreateAlphaChannel = 1;

  // An empty image counted by the process-wide start-up guard, drawing through the
  // process-wide pool.
  CImage();
  // The same over a given pool and guard (their backends are the image's backends).
  CImage(CDrawContextPool& pool, CImagingStartup& startup);
  virtual ~CImage();
  CImage(const CImage&) = delete;
  CImage& operator=(const CImage&) = delete;

  // Positive height: bottom-up rows; negative: top-down. Fails on a created image.
  bool Create(int32_t width, int32_t height, int32_t bitsPerPixel, uint32_t flags);
  void Destroy();

  DcHandle GetDC();
  void ReleaseDC();

  // `path` is narrow text in the thread's code page; a null `fileType` picks the encoder
  // by the path's extension. Returns kSOk, kEFail or kEOutOfMemory.
  HResult Save(const char* path, const Guid& fileType = kNullGuid) const;

  bool IsNull() const { return m_hBitmap == nullptr; }
  BitmapHandle GetBitmap() const { return m_hBitmap; }
  // The first byte of the top row.
  void* GetBits() const { return m_pBits; }
  int32_t GetWidth() const { return m_nWidth; }
  int32_t GetHeight() const { return m_nHeight; }
  int32_t GetPitch() const { return m_nPitch; }
  int32_t GetBPP() const { return m_nBPP; }
  bool IsDIBSection() const { return m_bIsDIBSection; }
  bool HasAlphaChannel() const { return m_bHasAlphaChannel; }
  int32_t GetTransparentColor() const { return m_iTransparentColor; }
  DcHandle GetCurrentDC() const { return m_hDC; }
  int32_t GetDCUseCount() const { return m_nDCRefCount; }
  GdiApi& Gdi() const { return m_pool.Gdi(); }

 private:
  enum class Orientation { kFromHeader, kBottomUp, kTopDown };
  void Attach(BitmapHandle bitmap, Orientation orientation);
  void UpdateBitmapInfo(Orientation orientation);

  CDrawContextPool& m_pool;
  CImagingStartup& m_startup;

  BitmapHandle m_hBitmap = nullptr;
  void* m_pBits = nullptr;
  int32_t m_nWidth = 0;
  int32_t m_nHeight = 0;
  int32_t m_nPitch = 0;
  int32_t m_nBPP = 0;
  bool m_bIsDIBSection = false;
  bool m_bHasAlphaChannel = false;
  int32_t m_iTransparentColor = -1;
  DcHandle m_hDC = nullptr;
  int32_t m_nDCRefCount = 0;
  BitmapHandle m_hOldBitmap = nullptr;
};

// Holds an image's drawing context open for its lifetime.
class CImageDrawScope {
 public:
  // Raises CAtlException(kEOutOfMemory) when no drawing context can be had.
  explicit CImageDrawScope(CImage& image);
  ~CImageDrawScope();
  CImageDrawScope(const CImageDrawScope&) = delete;
  CImageDrawScope& operator=(const CImageDrawScope&) = delete;

  operator DcHandle() const { return m_hDC; }
  DcHandle Context() const { return m_hDC; }
  CImage& Picture() const { return m_image; }

 private:
  CImage& m_image;
  DcHandle m_hDC;
};

}  // namespace ravelo
