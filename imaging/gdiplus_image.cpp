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
  if (m_nativeImage != nullptr) m_api.DisposeImage(m_nativeImage);
}

Image* Image::Clone() const {
  NativeImage copy = nullptr;
  GpStatus status = Remember(m_api.CloneImage(m_nativeImage, &copy));
  if (status != kGpOk) return nullptr;
  return new Image(m_api, copy, status);
}

GpStatus Image::Save(const char16_t* path, const Guid& encoder) {
  if (m_nativeImage == nullptr) return m_lastStatus != kGpOk ? m_lastStatus : kGpInvalidParameter;
  return Remember(m_api.SaveImageToFile(m_nativeImage, path, encoder));
}

Bitmap::Bitmap(GdiplusApi& api, BitmapHandle section) : Image(api, nullptr, kGpOk) {
  NativeImage image = nullptr;
  m_lastStatus = api.CreateBitmapFromSection(section, &image);
  if (m_lastStatus == kGpOk) m_nativeImage = image;
}

Bitmap::Bitmap(GdiplusApi& api, int32_t width, int32_t height, int32_t stride,
               int32_t pixelFormat, uint8_t* scan0)
    : Image(api, nullptr, kGpOk) {
  NativeImage image = nullptr;
  m_lastStatus = api.CreateBitmapFromScan0(width, height, stride, pixelFormat, scan0, &image);
  if (m_lastStatus == kGpOk) m_nativeImage = image;
}

Bitmap::~Bitmap() {
  if (m_nativeImage != nullptr) m_api.DisposeImage(m_nativeImage);
  m_nativeImage = nullptr;
}

}  // namespace ravelo
