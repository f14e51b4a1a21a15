#include "imaging/gdiplus_image.h"

#include <new>

namespace ravelo {

void* GdiplusBase::operator new(size_t size) {
  void* block = DefaultGdiplus().Alloc(size);
  if (block == nullptr) throw std::bad_alloc();
  return block;
}

void* GdiplusBase::operator new[](size_t size) { return operator new(size); }

void GdiplusBase::operator delete(void* block) noexcept { DefaultGdiplus().Free(block); }

void GdiplusBase::operator delete[](void* block) noexcept { operator delete(block); }

Image::~Image() {
  if (native_image_ != nullptr) api_.DisposeImage(native_image_);
}

Image* Image::Clone() const {
  NativeImage copy = nullptr;
  GpStatus status = Remember(api_.CloneImage(native_image_, &copy));
  if (status != kGpOk) return nullptr;
  return new Image(api_, copy, status);
}

GpStatus Image::Save(const char16_t* path, const Guid& encoder) {
  if (native_image_ == nullptr) return last_status_ != kGpOk ? last_status_ : kGpInvalidParameter;
  return Remember(api_.SaveImageToFile(native_image_, path, encoder));
}

Bitmap::Bitmap(GdiplusApi& api, BitmapHandle section) : Image(api, nullptr, kGpOk) {
  NativeImage image = nullptr;
  last_status_ = api.CreateBitmapFromSection(section, &image);
  if (last_status_ == kGpOk) native_image_ = image;
}

Bitmap::Bitmap(GdiplusApi& api, int32_t width, int32_t height, int32_t stride,
               int32_t pixelFormat, uint8_t* scan0)
    : Image(api, nullptr, kGpOk) {
  NativeImage image = nullptr;
  last_status_ = api.CreateBitmapFromScan0(width, height, stride, pixelFormat, scan0, &image);
  if (last_status_ == kGpOk) native_image_ = image;
}

Bitmap::~Bitmap() {
  if (native_image_ != nullptr) api_.DisposeImage(native_image_);
  native_image_ = nullptr;
}

}  // namespace ravelo
