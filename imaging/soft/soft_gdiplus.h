// The imaging library done with libjpeg-turbo: an encoder list in the platform's form
// (BMP and JPEG, with the platform's identifiers and extension patterns), bitmaps copied
// from sections or rows, and files written from them. JPEG is baseline, quality 75, 4:2:0.
#pragma once

#include <atomic>
#include <cstdint>
#include <mutex>
#include <vector>

#include "imaging/gdiplus_api.h"
#include "imaging/soft/soft_gdi.h"

namespace ravelo {

inline constexpr int kSoftJpegQuality = 75;

// A copied picture: rows from the top, 3 (BGR) or 4 (BGRA) bytes a pixel, tightly packed.
struct SoftPicture {
  int32_t width = 0;
  int32_t height = 0;
  int32_t bytesPerPixel = 3;
  std::vector<uint8_t> pixels;
};

// One JPEG encoder kept for reuse; not for use from two threads at once.
class SoftJpegEncoder {
 public:
  SoftJpegEncoder();
  ~SoftJpegEncoder();
  SoftJpegEncoder(const SoftJpegEncoder&) = delete;
  SoftJpegEncoder& operator=(const SoftJpegEncoder&) = delete;
  bool Encode(const SoftPicture& picture, std::vector<uint8_t>* out);

 private:
  void* handle_;
};

bool EncodeBmp(const SoftPicture& picture, std::vector<uint8_t>* out);

class SoftGdiplus : public GdiplusApi {
 public:
  explicit SoftGdiplus(SoftGdi& gdi);
  ~SoftGdiplus() override;

  static SoftGdiplus& Default();

  GpStatus Startup(GdiplusToken* token) override;
  void Shutdown(GdiplusToken token) override;
  void* Alloc(size_t size) override;
  void Free(void* block) override;
  GpStatus GetImageEncodersSize(uint32_t* count, uint32_t* size) override;
  GpStatus GetImageEncoders(uint32_t count, uint32_t size, CodecInfo* block) override;
  GpStatus CreateBitmapFromSection(BitmapHandle bitmap, NativeImage* out) override;
  GpStatus CreateBitmapFromScan0(int32_t width, int32_t height, int32_t stride,
                                 int32_t pixelFormat, uint8_t* scan0, NativeImage* out) override;
  GpStatus CloneImage(NativeImage image, NativeImage* out) override;
  GpStatus SaveImageToFile(NativeImage image, const char16_t* path, const Guid& encoder) override;
  GpStatus DisposeImage(NativeImage image) override;
  const char* FindExtension(const char* path) override;
  const char16_t* FindExtension(const char16_t* path) override;
  int32_t NarrowToWide(const char* text, int32_t bytes, char16_t* out, int32_t outChars) override;
  uint32_t LastError() override;

  bool IsStarted() const { return starts_.load() > 0; }
  size_t LiveImages() const;

 private:
  bool Started() const { return starts_.load() > 0; }

  SoftGdi& gdi_;
  std::atomic<int> starts_{0};
  std::atomic<uintptr_t> next_token_{0x1000};
  mutable std::mutex lock_;
  std::vector<SoftPicture*> images_;
  SoftJpegEncoder jpeg_;
  std::vector<uint8_t> file_;
};

}  // namespace ravelo
