// The imaging library's flat calls, straight to gdiplus.dll, with shlwapi's extension
// functions and the thread code page's conversion.
#define NOMINMAX
#include <windows.h>
#include <shlwapi.h>
#include <gdiplus.h>

#include <cstddef>

#include "imaging/gdiplus_api.h"
#include "imaging/win32/handle_cast.h"

namespace ravelo {

namespace gp = Gdiplus::DllExports;

static_assert(sizeof(CodecInfo) == sizeof(Gdiplus::ImageCodecInfo), "ImageCodecInfo");
static_assert(offsetof(CodecInfo, filenameExtension) ==
                  offsetof(Gdiplus::ImageCodecInfo, FilenameExtension),
              "ImageCodecInfo");
static_assert(sizeof(Guid) == sizeof(GUID), "GUID");
static_assert(sizeof(char16_t) == sizeof(WCHAR), "UTF-16 text");

namespace {

GpStatus Code(Gdiplus::Status status) { return static_cast<GpStatus>(status); }

class Win32Gdiplus : public GdiplusApi {
 public:
  GpStatus Startup(GdiplusToken* token) override {
    Gdiplus::GdiplusStartupInput input;  // version 1, nothing suppressed
    ULONG_PTR value = 0;
    const GpStatus status = Code(Gdiplus::GdiplusStartup(&value, &input, nullptr));
    if (status == kGpOk) *token = value;
    return status;
  }

  void Shutdown(GdiplusToken token) override { Gdiplus::GdiplusShutdown(token); }

  void* Alloc(size_t size) override { return gp::GdipAlloc(size); }

  void Free(void* block) override { gp::GdipFree(block); }

  GpStatus GetImageEncodersSize(uint32_t* count, uint32_t* size) override {
    UINT n = 0, bytes = 0;
    const GpStatus status = Code(gp::GdipGetImageEncodersSize(&n, &bytes));
    *count = n;
    *size = bytes;
    return status;
  }

  GpStatus GetImageEncoders(uint32_t count, uint32_t size, CodecInfo* block) override {
    return Code(gp::GdipGetImageEncoders(count, size, As<Gdiplus::ImageCodecInfo*>(block)));
  }

  GpStatus CreateBitmapFromSection(BitmapHandle bitmap, NativeImage* out) override {
    Gdiplus::GpBitmap* image = nullptr;
    const GpStatus status = Code(gp::GdipCreateBitmapFromHBITMAP(As<HBITMAP>(bitmap), nullptr, &image));
    *out = As<NativeImage>(image);
    return status;
  }

  GpStatus CreateBitmapFromScan0(int32_t width, int32_t height, int32_t stride, int32_t format,
                                 uint8_t* scan0, NativeImage* out) override {
    Gdiplus::GpBitmap* image = nullptr;
    const GpStatus status = Code(gp::GdipCreateBitmapFromScan0(width, height, stride, format, scan0, &image));
    *out = As<NativeImage>(image);
    return status;
  }

  GpStatus CloneImage(NativeImage image, NativeImage* out) override {
    Gdiplus::GpImage* copy = nullptr;
    const GpStatus status = Code(gp::GdipCloneImage(As<Gdiplus::GpImage*>(image), &copy));
    *out = As<NativeImage>(copy);
    return status;
  }

  GpStatus SaveImageToFile(NativeImage image, const char16_t* path, const Guid& encoder) override {
    return Code(gp::GdipSaveImageToFile(As<Gdiplus::GpImage*>(image), As<const WCHAR*>(path),
                                        As<const CLSID*>(&encoder), nullptr));
  }

  GpStatus DisposeImage(NativeImage image) override {
    return Code(gp::GdipDisposeImage(As<Gdiplus::GpImage*>(image)));
  }

  const char* FindExtension(const char* path) override { return PathFindExtensionA(path); }

  const char16_t* FindExtension(const char16_t* path) override {
    return As<const char16_t*>(PathFindExtensionW(As<const WCHAR*>(path)));
  }

  int32_t NarrowToWide(const char* text, int32_t bytes, char16_t* out, int32_t outChars) override {
    return MultiByteToWideChar(CP_THREAD_ACP, 0, text, bytes, As<LPWSTR>(out), outChars);
  }

  uint32_t LastError() override { return GetLastError(); }
};

}  // namespace

GdiplusApi& DefaultGdiplus() {
  static Win32Gdiplus library;
  return library;
}

}  // namespace ravelo
