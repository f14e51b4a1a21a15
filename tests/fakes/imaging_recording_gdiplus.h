// An imaging library that forwards to a real one, writes down every call, and answers
// with a scripted status where a test asks for one.
#pragma once

#include <map>
#include <string>
#include <vector>

#include "imaging/gdiplus_api.h"

namespace ravelo::testing {

class RecordingGdiplus : public GdiplusApi {
 public:
  explicit RecordingGdiplus(GdiplusApi& real) : real_(real) {}

  std::vector<std::string> calls;
  std::map<std::string, GpStatus> failWith;  // call name -> status returned instead
  bool failConversion = false;
  uint32_t conversionError = 1113;
  int32_t lastStride = 0;
  int32_t lastFormat = 0;
  std::u16string lastPath;

  GpStatus Startup(GdiplusToken* token) override {
    if (auto s = Scripted("Startup")) return *s;
    return real_.Startup(token);
  }
  void Shutdown(GdiplusToken token) override {
    calls.push_back("Shutdown");
    real_.Shutdown(token);
  }
  void* Alloc(size_t size) override { return real_.Alloc(size); }
  void Free(void* block) override { real_.Free(block); }
  GpStatus GetImageEncodersSize(uint32_t* count, uint32_t* size) override {
    if (auto s = Scripted("GetImageEncodersSize")) return *s;
    return real_.GetImageEncodersSize(count, size);
  }
  GpStatus GetImageEncoders(uint32_t count, uint32_t size, CodecInfo* block) override {
    if (auto s = Scripted("GetImageEncoders")) return *s;
    return real_.GetImageEncoders(count, size, block);
  }
  GpStatus CreateBitmapFromSection(BitmapHandle bitmap, NativeImage* out) override {
    if (auto s = Scripted("CreateBitmapFromSection")) return *s;
    return real_.CreateBitmapFromSection(bitmap, out);
  }
  GpStatus CreateBitmapFromScan0(int32_t width, int32_t height, int32_t stride, int32_t format,
                                 uint8_t* scan0, NativeImage* out) override {
    lastStride = stride;
    lastFormat = format;
    if (auto s = Scripted("CreateBitmapFromScan0")) return *s;
    return real_.CreateBitmapFromScan0(width, height, stride, format, scan0, out);
  }
  GpStatus CloneImage(NativeImage image, NativeImage* out) override {
    if (auto s = Scripted("CloneImage")) return *s;
    return real_.CloneImage(image, out);
  }
  GpStatus SaveImageToFile(NativeImage image, const char16_t* path, const Guid& encoder) override {
    lastPath = path != nullptr ? path : u"";
    if (auto s = Scripted("SaveImageToFile")) return *s;
    return real_.SaveImageToFile(image, path, encoder);
  }
  GpStatus DisposeImage(NativeImage image) override {
    calls.push_back("DisposeImage");
    return real_.DisposeImage(image);
  }
  const char* FindExtension(const char* path) override { return real_.FindExtension(path); }
  const char16_t* FindExtension(const char16_t* path) override { return real_.FindExtension(path); }
  int32_t NarrowToWide(const char* text, int32_t bytes, char16_t* out, int32_t outChars) override {
    calls.push_back("NarrowToWide");
    if (failConversion) return 0;
    return real_.NarrowToWide(text, bytes, out, outChars);
  }
  uint32_t LastError() override { return failConversion ? conversionError : real_.LastError(); }

 private:
  struct Maybe {
    bool has;
    GpStatus value;
    explicit operator bool() const { return has; }
    GpStatus operator*() const { return value; }
  };
  Maybe Scripted(const std::string& name) {
    calls.push_back(name);
    auto it = failWith.find(name);
    return it == failWith.end() ? Maybe{false, 0} : Maybe{true, it->second};
  }

  GdiplusApi& real_;
};

}  // namespace ravelo::testing
