// Helpers shared by the image-surface tests of both tiers: pixel access through the
// image's own bits, a scratch directory, and decoding a written picture file.
#pragma once

#include <algorithm>
#include <cstdint>
#include <filesystem>
#include <string>
#include <vector>

#include "imaging/image.h"

namespace ravelo::testing {

inline uint8_t* PixelAt(const CImage& image, int32_t x, int32_t y) {
  return static_cast<uint8_t*>(image.GetBits()) + static_cast<ptrdiff_t>(image.GetPitch()) * y +
         x * (image.GetBPP() / 8);
}

inline uint32_t ReadRgb(const CImage& image, int32_t x, int32_t y) {
  const uint8_t* p = PixelAt(image, x, y);
  return (uint32_t{p[2]} << 16) | (uint32_t{p[1]} << 8) | p[0];
}

inline void WriteRgb(CImage& image, int32_t x, int32_t y, uint32_t rgb) {
  uint8_t* p = PixelAt(image, x, y);
  p[0] = static_cast<uint8_t>(rgb);
  p[1] = static_cast<uint8_t>(rgb >> 8);
  p[2] = static_cast<uint8_t>(rgb >> 16);
}

template <typename F>
void Fill(CImage& image, F rgbAt) {
  for (int32_t y = 0; y < image.GetHeight(); ++y)
    for (int32_t x = 0; x < image.GetWidth(); ++x) WriteRgb(image, x, y, rgbAt(x, y));
}

// Largest difference of one colour channel.
inline int ChannelDistance(uint32_t a, uint32_t b) {
  int worst = 0;
  for (int shift = 0; shift < 24; shift += 8) {
    const int d = static_cast<int>((a >> shift) & 0xFF) - static_cast<int>((b >> shift) & 0xFF);
    worst = std::max(worst, d < 0 ? -d : d);
  }
  return worst;
}

// A fresh directory under the system's temporary one, removed again at the end.
class ScratchDir {
 public:
  ScratchDir();
  ~ScratchDir();
  std::string File(const std::string& name) const { return (path_ / name).string(); }
  const std::filesystem::path& Path() const { return path_; }

 private:
  std::filesystem::path path_;
};

struct DecodedPicture {
  int32_t width = 0;
  int32_t height = 0;
  std::vector<uint32_t> rgb;  // 0x00RRGGBB, rows from the top
  uint32_t At(int32_t x, int32_t y) const { return rgb[static_cast<size_t>(y) * width + x]; }
};

// Decodes a JPEG or BMP file with a decoder independent of the encoder under test where
// the platform allows. False when the file cannot be read as a picture.
bool DecodePictureFile(const std::string& path, DecodedPicture* out);

std::vector<uint8_t> ReadFileBytes(const std::string& path);

}  // namespace ravelo::testing
