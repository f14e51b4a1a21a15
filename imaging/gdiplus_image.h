// Thin owners of the imaging library's native images.
#pragma once

#include <cstddef>

#include "imaging/gdiplus_api.h"

namespace ravelo {

// Heap instances come from the library's own allocator.
class GdiplusBase {
 public:
  static void* operator new(size_t size);
  static void* operator new[](size_t size);
  static void operator delete(void* block) noexcept;
  static void operator delete[](void* block) noexcept;
};

class Image : public GdiplusBase {
 public:
  virtual ~Image();
  // A copy of the native image; null when the library refuses.
  virtual Image* Clone() const;

  GpStatus Save(const char16_t* path, const Guid& encoder);
  GpStatus GetLastStatus() const { return last_status_; }
  NativeImage Native() const { return native_image_; }

  Image(const Image&) = delete;
  Image& operator=(const Image&) = delete;

 protected:
  Image(GdiplusApi& api, NativeImage image, GpStatus status)
      : api_(api), native_image_(image), last_status_(status) {}
  GpStatus Remember(GpStatus status) const {
    if (status != kGpOk) last_status_ = status;
    return status;
  }

  GdiplusApi& api_;
  NativeImage native_image_;
  mutable GpStatus last_status_;
};

class Bitmap : public Image {
 public:
  // From a section's pixels (no palette).
  Bitmap(GdiplusApi& api, BitmapHandle section);
  // Over caller-owned rows; `stride` may be negative for bottom-up storage.
  Bitmap(GdiplusApi& api, int32_t width, int32_t height, int32_t stride, int32_t pixelFormat,
         uint8_t* scan0);
  ~Bitmap() override;
};

}  // namespace ravelo
