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

  bool IsNull() const { return bitmap_ == nullptr; }
  BitmapHandle GetBitmap() const { return bitmap_; }
  // The first byte of the top row.
  void* GetBits() const { return bits_; }
  int32_t GetWidth() const { return width_; }
  int32_t GetHeight() const { return height_; }
  int32_t GetPitch() const { return pitch_; }
  int32_t GetBPP() const { return bpp_; }
  bool IsDIBSection() const { return is_dib_section_; }
  bool HasAlphaChannel() const { return has_alpha_channel_; }
  int32_t GetTransparentColor() const { return transparent_color_; }
  DcHandle GetCurrentDC() const { return dc_; }
  int32_t GetDCUseCount() const { return dc_ref_count_; }
  GdiApi& Gdi() const { return pool_.Gdi(); }

 private:
  enum class Orientation { kFromHeader, kBottomUp, kTopDown };
  void Attach(BitmapHandle bitmap, Orientation orientation);
  void UpdateBitmapInfo(Orientation orientation);

  CDrawContextPool& pool_;
  CImagingStartup& startup_;

  BitmapHandle bitmap_ = nullptr;
  void* bits_ = nullptr;
  int32_t width_ = 0;
  int32_t height_ = 0;
  int32_t pitch_ = 0;
  int32_t bpp_ = 0;
  bool is_dib_section_ = false;
  bool has_alpha_channel_ = false;
  int32_t transparent_color_ = -1;
  DcHandle dc_ = nullptr;
  int32_t dc_ref_count_ = 0;
  BitmapHandle old_bitmap_ = nullptr;
};

// Holds an image's drawing context open for its lifetime.
class CImageDrawScope {
 public:
  // Raises CAtlException(kEOutOfMemory) when no drawing context can be had.
  explicit CImageDrawScope(CImage& image);
  ~CImageDrawScope();
  CImageDrawScope(const CImageDrawScope&) = delete;
  CImageDrawScope& operator=(const CImageDrawScope&) = delete;

  operator DcHandle() const { return dc_; }
  DcHandle Context() const { return dc_; }
  CImage& Picture() const { return image_; }

 private:
  CImage& image_;
  DcHandle dc_;
};

}  // namespace ravelo
