#include "imaging/soft/soft_gdiplus.h"

#include <turbojpeg.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <string>

namespace ravelo {

namespace {

// Error numbers as the platform's, so that statuses built from them read the same.
constexpr uint32_t kErrorInvalidParameter = 87;
constexpr uint32_t kErrorInsufficientBuffer = 122;
constexpr uint32_t kErrorNoUnicodeTranslation = 1113;

thread_local uint32_t t_lastError = 0;

struct EncoderEntry {
  Guid clsid;
  Guid formatId;
  const char16_t* name;
  const char16_t* description;
  const char16_t* extensions;
  const char16_t* mime;
};

constexpr Guid kBmpEncoder{0x557CF400, 0x1A04, 0x11D3, {0x9A, 0x73, 0x00, 0x00, 0xF8, 0x1E, 0xF3, 0x2E}};
constexpr Guid kJpegEncoder{0x557CF401, 0x1A04, 0x11D3, {0x9A, 0x73, 0x00, 0x00, 0xF8, 0x1E, 0xF3, 0x2E}};

const EncoderEntry kEncoders[] = {
    {kBmpEncoder, kImageFormatBmp, u"Built-in BMP Codec", u"BMP", u"*.BMP;*.DIB;*.RLE", u"image/bmp"},
    {kJpegEncoder, kImageFormatJpeg, u"Built-in JPEG Codec", u"JPEG", u"*.JPG;*.JPEG;*.JPE;*.JFIF",
     u"image/jpeg"},
};
constexpr uint32_t kEncoderCount = sizeof(kEncoders) / sizeof(kEncoders[0]);
constexpr char16_t kDllName[] = u"";

size_t Chars(const char16_t* s) {
  size_t n = 0;
  while (s[n] != 0) ++n;
  return n + 1;
}

uint32_t EncoderBlockSize() {
  size_t size = kEncoderCount * sizeof(CodecInfo);
  for (const EncoderEntry& e : kEncoders)
    size += (Chars(e.name) + Chars(kDllName) + Chars(e.description) + Chars(e.extensions) +
             Chars(e.mime)) *
            sizeof(char16_t);
  return static_cast<uint32_t>(size);
}

SoftPicture* AsPicture(NativeImage image) { return reinterpret_cast<SoftPicture*>(image); }

// UTF-16 path to the narrow form the C library opens (UTF-8).
std::string PathToUtf8(const char16_t* path) {
  std::string out;
  for (size_t i = 0; path[i] != 0; ++i) {
    uint32_t c = path[i];
    if (c >= 0xD800 && c < 0xDC00 && path[i + 1] >= 0xDC00 && path[i + 1] < 0xE000) {
      c = 0x10000 + ((c - 0xD800) << 10) + (uint32_t{path[i + 1]} - 0xDC00);
      ++i;
    }
    if (c < 0x80) {
      out += static_cast<char>(c);
    } else if (c < 0x800) {
      out += static_cast<char>(0xC0 | (c >> 6));
      out += static_cast<char>(0x80 | (c & 0x3F));
    } else if (c < 0x10000) {
      out += static_cast<char>(0xE0 | (c >> 12));
      out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
      out += static_cast<char>(0x80 | (c & 0x3F));
    } else {
      out += static_cast<char>(0xF0 | (c >> 18));
      out += static_cast<char>(0x80 | ((c >> 12) & 0x3F));
      out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
      out += static_cast<char>(0x80 | (c & 0x3F));
    }
  }
  return out;
}

// Decodes UTF-8 into code points; a malformed sequence becomes U+FFFD, as the platform's
// conversion does without its strict flag.
template <typename Emit>
void DecodeUtf8(const unsigned char* s, size_t n, Emit emit) {
  size_t i = 0;
  while (i < n) {
    const unsigned char c = s[i];
    uint32_t cp;
    size_t len;
    if (c < 0x80) { cp = c; len = 1; }
    else if ((c & 0xE0) == 0xC0) { cp = c & 0x1Fu; len = 2; }
    else if ((c & 0xF0) == 0xE0) { cp = c & 0x0Fu; len = 3; }
    else if ((c & 0xF8) == 0xF0) { cp = c & 0x07u; len = 4; }
    else { emit(0xFFFD); ++i; continue; }
    size_t k = 1;
    for (; k < len && i + k < n && (s[i + k] & 0xC0) == 0x80; ++k) cp = (cp << 6) | (s[i + k] & 0x3Fu);
    if (k < len) { emit(0xFFFD); i += k; continue; }
    const bool overlong = (len == 2 && cp < 0x80) || (len == 3 && cp < 0x800) || (len == 4 && cp < 0x10000);
    if (overlong || cp > 0x10FFFF || (cp >= 0xD800 && cp < 0xE000)) cp = 0xFFFD;
    emit(cp);
    i += len;
  }
}

template <typename Char>
const Char* ExtensionOf(const Char* path) {
  if (path == nullptr) return nullptr;
  const Char* dot = nullptr;
  const Char* p = path;
  // A separator or a space ends a candidate, as the platform's path functions have it.
  for (; *p != 0; ++p) {
    if (*p == '\\' || *p == '/' || *p == ' ') dot = nullptr;
    else if (*p == '.') dot = p;
  }
  return dot != nullptr ? dot : p;
}

}  // namespace

SoftJpegEncoder::SoftJpegEncoder() : handle_(tjInitCompress()) {}

SoftJpegEncoder::~SoftJpegEncoder() {
  if (handle_ != nullptr) tjDestroy(handle_);
}

bool SoftJpegEncoder::Encode(const SoftPicture& picture, std::vector<uint8_t>* out) {
  if (handle_ == nullptr || picture.width <= 0 || picture.height <= 0) return false;
  const unsigned long bound = tjBufSize(picture.width, picture.height, TJSAMP_420);
  if (bound == static_cast<unsigned long>(-1)) return false;
  out->resize(bound);
  unsigned char* buffer = out->data();
  unsigned long size = bound;
  const int format = picture.bytesPerPixel == 4 ? TJPF_BGRX : TJPF_BGR;
  if (tjCompress2(handle_, picture.pixels.data(), picture.width, 0, picture.height, format,
                  &buffer, &size, TJSAMP_420, kSoftJpegQuality, TJFLAG_NOREALLOC) != 0)
    return false;
  out->resize(size);
  return true;
}

bool EncodeBmp(const SoftPicture& picture, std::vector<uint8_t>* out) {
  if (picture.width <= 0 || picture.height <= 0) return false;
  const int32_t bpp = picture.bytesPerPixel * 8;
  const uint64_t row = static_cast<uint64_t>(DibRowBytes(picture.width, bpp));
  const uint64_t total = 54 + row * static_cast<uint64_t>(picture.height);
  if (total > 0x7FFFFFFF) return false;
  out->assign(static_cast<size_t>(total), 0);
  uint8_t* p = out->data();
  auto put16 = [&](size_t at, uint32_t v) { p[at] = static_cast<uint8_t>(v); p[at + 1] = static_cast<uint8_t>(v >> 8); };
  auto put32 = [&](size_t at, uint32_t v) { put16(at, v & 0xFFFF); put16(at + 2, v >> 16); };
  p[0] = 'B';
  p[1] = 'M';
  put32(2, static_cast<uint32_t>(total));
  put32(10, 54);
  put32(14, 40);
  put32(18, static_cast<uint32_t>(picture.width));
  put32(22, static_cast<uint32_t>(picture.height));  // bottom-up
  put16(26, 1);
  put16(28, static_cast<uint32_t>(bpp));
  put32(34, static_cast<uint32_t>(row * static_cast<uint64_t>(picture.height)));
  const size_t packed = static_cast<size_t>(picture.width) * picture.bytesPerPixel;
  for (int32_t y = 0; y < picture.height; ++y)
    std::memcpy(p + 54 + row * static_cast<uint64_t>(picture.height - 1 - y),
                &picture.pixels[packed * static_cast<size_t>(y)], packed);
  return true;
}

SoftGdiplus::SoftGdiplus(SoftGdi& gdi) : gdi_(gdi) {}

SoftGdiplus::~SoftGdiplus() {
  for (SoftPicture* p : images_) delete p;
}

SoftGdiplus& SoftGdiplus::Default() {
  static SoftGdiplus library(SoftGdi::Default());
  return library;
}

GpStatus SoftGdiplus::Startup(GdiplusToken* token) {
  if (token == nullptr) return kGpInvalidParameter;
  *token = next_token_.fetch_add(1);
  starts_.fetch_add(1);
  return kGpOk;
}

void SoftGdiplus::Shutdown(GdiplusToken token) {
  if (token == 0) return;
  int starts = starts_.load();
  while (starts > 0 && !starts_.compare_exchange_weak(starts, starts - 1)) {
  }
}

void* SoftGdiplus::Alloc(size_t size) { return std::malloc(size == 0 ? 1 : size); }

void SoftGdiplus::Free(void* block) { std::free(block); }

GpStatus SoftGdiplus::GetImageEncodersSize(uint32_t* count, uint32_t* size) {
  if (!Started()) return kGpNotInitialized;
  if (count == nullptr || size == nullptr) return kGpInvalidParameter;
  *count = kEncoderCount;
  *size = EncoderBlockSize();
  return kGpOk;
}

GpStatus SoftGdiplus::GetImageEncoders(uint32_t count, uint32_t size, CodecInfo* block) {
  if (!Started()) return kGpNotInitialized;
  if (block == nullptr || count != kEncoderCount || size != EncoderBlockSize()) return kGpGenericError;
  char16_t* text = reinterpret_cast<char16_t*>(block + kEncoderCount);
  auto put = [&text](const char16_t* s) {
    const size_t n = Chars(s);
    std::memcpy(text, s, n * sizeof(char16_t));
    const char16_t* placed = text;
    text += n;
    return placed;
  };
  for (uint32_t i = 0; i < kEncoderCount; ++i) {
    const EncoderEntry& e = kEncoders[i];
    CodecInfo& c = block[i];
    c = CodecInfo{};
    c.clsid = e.clsid;
    c.formatId = e.formatId;
    c.codecName = put(e.name);
    c.dllName = put(kDllName);
    c.formatDescription = put(e.description);
    c.filenameExtension = put(e.extensions);
    c.mimeType = put(e.mime);
    c.flags = 0x00010007;  // encoder, decoder, supports bitmap, built in
    c.version = 1;
  }
  return kGpOk;
}

GpStatus SoftGdiplus::CreateBitmapFromSection(BitmapHandle bitmap, NativeImage* out) {
  if (!Started()) return kGpNotInitialized;
  if (out == nullptr) return kGpInvalidParameter;
  *out = nullptr;
  SurfaceView v;
  if (!gdi_.Surface(bitmap, &v)) return kGpInvalidParameter;
  auto picture = std::make_unique<SoftPicture>();
  picture->width = v.width;
  picture->height = v.height;
  picture->bytesPerPixel = 3;  // the section's fourth byte is not alpha
  const int32_t sb = v.bitsPerPixel / 8;
  picture->pixels.resize(static_cast<size_t>(v.width) * v.height * 3);
  uint8_t* d = picture->pixels.data();
  for (int32_t y = 0; y < v.height; ++y) {
    const uint8_t* s = v.Row(y);
    if (sb == 3) {
      std::memcpy(d, s, static_cast<size_t>(v.width) * 3);
      d += static_cast<size_t>(v.width) * 3;
    } else {
      for (int32_t x = 0; x < v.width; ++x, s += sb, d += 3) std::memcpy(d, s, 3);
    }
  }
  std::lock_guard<std::mutex> hold(lock_);
  images_.push_back(picture.get());
  *out = reinterpret_cast<NativeImage>(picture.release());
  return kGpOk;
}

GpStatus SoftGdiplus::CreateBitmapFromScan0(int32_t width, int32_t height, int32_t stride,
                                            int32_t pixelFormat, uint8_t* scan0, NativeImage* out) {
  if (!Started()) return kGpNotInitialized;
  if (out == nullptr) return kGpInvalidParameter;
  *out = nullptr;
  int32_t bytes = 0;
  if (pixelFormat == kPixelFormat24bppRgb) bytes = 3;
  if (pixelFormat == kPixelFormat32bppArgb) bytes = 4;
  if (bytes == 0 || width <= 0 || height <= 0 || scan0 == nullptr) return kGpInvalidParameter;
  const int64_t packed = int64_t{width} * bytes;
  if ((stride < 0 ? -int64_t{stride} : int64_t{stride}) < packed) return kGpInvalidParameter;
  auto picture = std::make_unique<SoftPicture>();
  picture->width = width;
  picture->height = height;
  picture->bytesPerPixel = bytes;
  picture->pixels.resize(static_cast<size_t>(packed) * static_cast<size_t>(height));
  for (int32_t y = 0; y < height; ++y)
    std::memcpy(&picture->pixels[static_cast<size_t>(packed) * y], scan0 + static_cast<ptrdiff_t>(stride) * y,
                static_cast<size_t>(packed));
  std::lock_guard<std::mutex> hold(lock_);
  images_.push_back(picture.get());
  *out = reinterpret_cast<NativeImage>(picture.release());
  return kGpOk;
}

GpStatus SoftGdiplus::CloneImage(NativeImage image, NativeImage* out) {
  if (!Started()) return kGpNotInitialized;
  if (out == nullptr) return kGpInvalidParameter;
  std::lock_guard<std::mutex> hold(lock_);
  *out = nullptr;
  if (std::find(images_.begin(), images_.end(), AsPicture(image)) == images_.end())
    return kGpInvalidParameter;
  auto* copy = new SoftPicture(*AsPicture(image));
  images_.push_back(copy);
  *out = reinterpret_cast<NativeImage>(copy);
  return kGpOk;
}

GpStatus SoftGdiplus::SaveImageToFile(NativeImage image, const char16_t* path, const Guid& encoder) {
  if (!Started()) return kGpNotInitialized;
  if (path == nullptr || *path == 0) return kGpInvalidParameter;
  std::lock_guard<std::mutex> hold(lock_);
  SoftPicture* picture = AsPicture(image);
  if (std::find(images_.begin(), images_.end(), picture) == images_.end())
    return kGpInvalidParameter;
  bool encoded = false;
  if (encoder == kJpegEncoder) encoded = jpeg_.Encode(*picture, &file_);
  else if (encoder == kBmpEncoder) encoded = EncodeBmp(*picture, &file_);
  else return kGpFileNotFound;  // what the platform answers for an unknown encoder
  if (!encoded) return kGpGenericError;

  const std::string name = PathToUtf8(path);
  std::FILE* file = std::fopen(name.c_str(), "wb");
  if (file == nullptr) return kGpWin32Error;
  const bool written = std::fwrite(file_.data(), 1, file_.size(), file) == file_.size();
  const bool closed = std::fclose(file) == 0;
  if (!written || !closed) {
    // A cut-off picture must not pass for a good one.
    std::remove(name.c_str());
    return kGpWin32Error;
  }
  return kGpOk;
}

GpStatus SoftGdiplus::DisposeImage(NativeImage image) {
  std::lock_guard<std::mutex> hold(lock_);
  auto it = std::find(images_.begin(), images_.end(), AsPicture(image));
  if (it == images_.end()) return kGpInvalidParameter;
  delete *it;
  images_.erase(it);
  return kGpOk;
}

size_t SoftGdiplus::LiveImages() const {
  std::lock_guard<std::mutex> hold(lock_);
  return images_.size();
}

const char* SoftGdiplus::FindExtension(const char* path) { return ExtensionOf(path); }

const char16_t* SoftGdiplus::FindExtension(const char16_t* path) { return ExtensionOf(path); }

int32_t SoftGdiplus::NarrowToWide(const char* text, int32_t bytes, char16_t* out, int32_t outChars) {
  if (text == nullptr || bytes == 0 || bytes < -1 || outChars < 0 || (outChars > 0 && out == nullptr)) {
    t_lastError = kErrorInvalidParameter;
    return 0;
  }
  const size_t n = bytes == -1 ? std::strlen(text) + 1 : static_cast<size_t>(bytes);
  int64_t needed = 0;
  bool overflow = false;
  auto emit = [&](uint32_t cp) {
    const int units = cp >= 0x10000 ? 2 : 1;
    if (outChars > 0) {
      if (needed + units > outChars) { overflow = true; return; }
      if (units == 2) {
        out[needed] = static_cast<char16_t>(0xD800 + ((cp - 0x10000) >> 10));
        out[needed + 1] = static_cast<char16_t>(0xDC00 + ((cp - 0x10000) & 0x3FF));
      } else {
        out[needed] = static_cast<char16_t>(cp);
      }
    }
    needed += units;
  };
  DecodeUtf8(reinterpret_cast<const unsigned char*>(text), n, emit);
  if (overflow) {
    t_lastError = kErrorInsufficientBuffer;
    return 0;
  }
  if (needed > 0x7FFFFFFF) {
    t_lastError = kErrorNoUnicodeTranslation;
    return 0;
  }
  return static_cast<int32_t>(needed);
}

uint32_t SoftGdiplus::LastError() { return t_lastError; }

GdiplusApi& DefaultGdiplus() { return SoftGdiplus::Default(); }

}  // namespace ravelo
