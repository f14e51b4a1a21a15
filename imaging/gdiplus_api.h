// The imaging library's flat calls that the JPEG writer needs, and the two text
// helpers it uses to match a file name against the encoder list.
#pragma once

#include <cstddef>
#include <cstdint>

#include "imaging/gdi_api.h"

namespace ravelo {

// Byte for byte the platform's GUID.
struct Guid {
  uint32_t data1;
  uint16_t data2;
  uint16_t data3;
  uint8_t data4[8];
};
static_assert(sizeof(Guid) == 16, "GUID layout");

bool operator==(const Guid& a, const Guid& b);
inline bool operator!=(const Guid& a, const Guid& b) { return !(a == b); }
inline constexpr Guid kNullGuid{0, 0, 0, {0, 0, 0, 0, 0, 0, 0, 0}};

// The library's published format identifiers.
inline constexpr Guid kImageFormatBmp{0xB96B3CAB, 0x0728, 0x11D3, {0x9D, 0x7B, 0x00, 0x00, 0xF8, 0x1E, 0xF3, 0x2E}};
inline constexpr Guid kImageFormatJpeg{0xB96B3CAE, 0x0728, 0x11D3, {0x9D, 0x7B, 0x00, 0x00, 0xF8, 0x1E, 0xF3, 0x2E}};
inline constexpr Guid kImageFormatPng{0xB96B3CAF, 0x0728, 0x11D3, {0x9D, 0x7B, 0x00, 0x00, 0xF8, 0x1E, 0xF3, 0x2E}};

// Byte for byte the platform's ImageCodecInfo; strings are UTF-16.
struct CodecInfo {
  Guid clsid;
  Guid formatId;
  const char16_t* codecName;
  const char16_t* dllName;
  const char16_t* formatDescription;
  const char16_t* filenameExtension;  // e.g. u"*.JPG;*.JPEG;*.JPE;*.JFIF"
  const char16_t* mimeType;
  uint32_t flags;
  uint32_t version;
  uint32_t sigCount;
  uint32_t sigSize;
  const uint8_t* sigPattern;
  const uint8_t* sigMask;
};

// The library's status values (0 is success).
using GpStatus = int32_t;
inline constexpr GpStatus kGpOk = 0;
inline constexpr GpStatus kGpGenericError = 1;
inline constexpr GpStatus kGpInvalidParameter = 2;
inline constexpr GpStatus kGpOutOfMemory = 3;
inline constexpr GpStatus kGpWin32Error = 7;
inline constexpr GpStatus kGpFileNotFound = 10;
inline constexpr GpStatus kGpUnknownImageFormat = 13;
inline constexpr GpStatus kGpNotInitialized = 18;

inline constexpr int32_t kPixelFormat24bppRgb = 0x00021808;
inline constexpr int32_t kPixelFormat32bppArgb = 0x0026200A;

using GdiplusToken = uintptr_t;
struct NativeImageObject;
using NativeImage = NativeImageObject*;

class GdiplusApi {
 public:
  virtual ~GdiplusApi() = default;

  // Version 1, no debug callback, background thread and external codecs allowed.
  virtual GpStatus Startup(GdiplusToken* token) = 0;
  virtual void Shutdown(GdiplusToken token) = 0;
  virtual void* Alloc(size_t size) = 0;
  virtual void Free(void* block) = 0;

  virtual GpStatus GetImageEncodersSize(uint32_t* count, uint32_t* size) = 0;
  // Fills `block` (size bytes) with count records followed by the strings they point at.
  virtual GpStatus GetImageEncoders(uint32_t count, uint32_t size, CodecInfo* block) = 0;

  virtual GpStatus CreateBitmapFromSection(BitmapHandle bitmap, NativeImage* out) = 0;
  virtual GpStatus CreateBitmapFromScan0(int32_t width, int32_t height, int32_t stride,
                                         int32_t pixelFormat, uint8_t* scan0,
                                         NativeImage* out) = 0;
  virtual GpStatus CloneImage(NativeImage image, NativeImage* out) = 0;
  virtual GpStatus SaveImageToFile(NativeImage image, const char16_t* path,
                                   const Guid& encoder) = 0;
  virtual GpStatus DisposeImage(NativeImage image) = 0;

  // Text helpers. The extension runs from the last dot of the last path component to the
  // end; when there is none the result points at the terminator.
  virtual const char* FindExtension(const char* path) = 0;
  virtual const char16_t* FindExtension(const char16_t* path) = 0;
  // Converts from the thread's narrow code page. `bytes` of -1 means up to and including
  // the terminator. With outChars 0, returns the length needed. 0 is failure (see LastError).
  virtual int32_t NarrowToWide(const char* text, int32_t bytes, char16_t* out,
                               int32_t outChars) = 0;
  virtual uint32_t LastError() = 0;
};

GdiplusApi& DefaultGdiplus();

}  // namespace ravelo
