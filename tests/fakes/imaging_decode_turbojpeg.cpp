// Natively the written files are read back with libjpeg-turbo's decoder (JPEG) and by
// hand (BMP).
#include <turbojpeg.h>

#include "imaging_test_support.h"

namespace ravelo::testing {

namespace {

bool DecodeBmp(const std::vector<uint8_t>& f, DecodedPicture* out) {
  auto u32 = [&f](size_t at) {
    return uint32_t{f[at]} | uint32_t{f[at + 1]} << 8 | uint32_t{f[at + 2]} << 16 | uint32_t{f[at + 3]} << 24;
  };
  if (f.size() < 54 || f[0] != 'B' || f[1] != 'M') return false;
  const int32_t w = static_cast<int32_t>(u32(18));
  const int32_t h = static_cast<int32_t>(u32(22));
  const int32_t bytes = (f[28] | f[29] << 8) / 8;
  const size_t row = static_cast<size_t>(((w * bytes * 8 + 31) / 32) * 4);
  const size_t offset = u32(10);
  if (w <= 0 || h <= 0 || (bytes != 3 && bytes != 4) || f.size() < offset + row * h) return false;
  out->width = w;
  out->height = h;
  out->rgb.resize(static_cast<size_t>(w) * h);
  for (int32_t y = 0; y < h; ++y)
    for (int32_t x = 0; x < w; ++x) {
      const uint8_t* p = &f[offset + row * (h - 1 - y) + static_cast<size_t>(x) * bytes];
      out->rgb[static_cast<size_t>(y) * w + x] = uint32_t{p[2]} << 16 | uint32_t{p[1]} << 8 | p[0];
    }
  return true;
}

}  // namespace

bool DecodePictureFile(const std::string& path, DecodedPicture* out) {
  std::vector<uint8_t> file = ReadFileBytes(path);
  if (file.size() >= 2 && file[0] == 'B' && file[1] == 'M') return DecodeBmp(file, out);
  tjhandle handle = tjInitDecompress();
  if (handle == nullptr) return false;
  int w = 0, h = 0, sub = 0, space = 0;
  bool ok = tjDecompressHeader3(handle, file.data(), static_cast<unsigned long>(file.size()), &w, &h,
                                &sub, &space) == 0;
  std::vector<uint8_t> rgb;
  if (ok) {
    rgb.resize(static_cast<size_t>(w) * h * 3);
    ok = tjDecompress2(handle, file.data(), static_cast<unsigned long>(file.size()), rgb.data(), w, 0, h,
                       TJPF_RGB, TJFLAG_ACCURATEDCT) == 0;
  }
  tjDestroy(handle);
  if (!ok) return false;
  out->width = w;
  out->height = h;
  out->rgb.resize(static_cast<size_t>(w) * h);
  for (size_t i = 0; i < out->rgb.size(); ++i)
    out->rgb[i] = uint32_t{rgb[i * 3]} << 16 | uint32_t{rgb[i * 3 + 1]} << 8 | rgb[i * 3 + 2];
  return true;
}

}  // namespace ravelo::testing
