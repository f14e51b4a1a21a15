// The drawing calls under CImage and desktop capture: device-independent sections,
// memory drawing contexts, copies, the halftone stretch and icon drawing. One
// implementation talks to GDI, the other draws in memory with the same pixel layout.
#pragma once

#include <cstdint>
#include <vector>

namespace ravelo {

// Opaque handles. A backend casts its own objects to these; on Windows they are the GDI
// and USER handles themselves (HDC, HBITMAP, HICON), so any Win32 backend may cast a
// screen's HDC or a cursor's HCURSOR to them.
struct DcObject;
struct BitmapObject;
struct IconObject;
using DcHandle = DcObject*;
using BitmapHandle = BitmapObject*;
using IconHandle = IconObject*;

// Raster operations and stretch modes, by their platform values.
inline constexpr uint32_t kRopSrcCopy = 0x00CC0020;
inline constexpr uint32_t kRopCaptureBlt = 0x40000000;
inline constexpr uint32_t kRopBlackness = 0x00000042;  // fills with black; no source
inline constexpr int kStretchModeColorOnColor = 3;
inline constexpr int kStretchModeHalftone = 4;

inline constexpr uint32_t kBiRgb = 0;

// Byte for byte the platform's BITMAPINFOHEADER.
struct BitmapInfoHeader {
  uint32_t size;
  int32_t width;
  int32_t height;  // positive: bottom-up rows
  uint16_t planes;
  uint16_t bitCount;
  uint32_t compression;
  uint32_t sizeImage;
  int32_t xPelsPerMeter;
  int32_t yPelsPerMeter;
  uint32_t clrUsed;
  uint32_t clrImportant;
};
static_assert(sizeof(BitmapInfoHeader) == 40, "BITMAPINFOHEADER layout");

struct RgbQuad {
  uint8_t blue;
  uint8_t green;
  uint8_t red;
  uint8_t reserved;
};

// Header plus a full colour table: the block handed to CreateSection.
struct BitmapInfoBlock {
  BitmapInfoHeader header;
  RgbQuad colors[256];
};
static_assert(sizeof(BitmapInfoBlock) == 1064, "BITMAPINFO with 256 colours");

// What a bitmap says about itself. For a section, header and bits are filled;
// for a plain bitmap only width, height and bitsPerPixel.
struct BitmapDescription {
  bool isSection = false;
  int32_t width = 0;
  int32_t height = 0;
  int32_t bitsPerPixel = 0;
  BitmapInfoHeader header{};
  void* bits = nullptr;
};

// Bytes in one stored row: whole 32-bit words. 64-bit so that absurd sizes do not wrap.
inline int64_t DibRowBytes(int64_t width, int64_t bitsPerPixel) {
  return ((width * bitsPerPixel + 31) / 32) * 4;
}

// A cursor or icon picture in plain form. Pixels are row by row from the top.
// andMask: non-zero keeps the picture's pixel (transparent or inverting), zero clears it.
// xorColor: 0x00RRGGBB combined by exclusive or after the mask.
struct IconPixels {
  int32_t width = 0;
  int32_t height = 0;
  uint32_t hotX = 0;
  uint32_t hotY = 0;
  std::vector<uint8_t> andMask;
  std::vector<uint32_t> xorColor;
};

// Hot spot and the two bitmaps of an icon; both bitmaps are new objects that the
// caller frees with FreeBitmap. Either may be null.
struct IconDescription {
  uint32_t hotX = 0;
  uint32_t hotY = 0;
  BitmapHandle mask = nullptr;
  BitmapHandle color = nullptr;
};

class GdiApi {
 public:
  virtual ~GdiApi() = default;

  // A section as the block describes (colour usage RGB, no file mapping); *bits gets
  // the address of the pixel block. Null on refusal.
  virtual BitmapHandle CreateSection(const BitmapInfoBlock& info, void** bits) = 0;
  virtual bool DescribeBitmap(BitmapHandle bitmap, BitmapDescription* out) = 0;
  virtual bool FreeBitmap(BitmapHandle bitmap) = 0;

  // A memory drawing context compatible with the screen. Null on failure.
  virtual DcHandle CreateMemoryContext() = 0;
  virtual bool DeleteContext(DcHandle dc) = 0;
  // Selects the bitmap into the context and gives back what it held before (null on failure).
  virtual BitmapHandle SelectInto(DcHandle dc, BitmapHandle bitmap) = 0;

  virtual bool Blit(DcHandle dst, int32_t x, int32_t y, int32_t width, int32_t height,
                    DcHandle src, int32_t srcX, int32_t srcY, uint32_t rop) = 0;
  virtual bool StretchBlit(DcHandle dst, int32_t x, int32_t y, int32_t width, int32_t height,
                           DcHandle src, int32_t srcX, int32_t srcY, int32_t srcWidth,
                           int32_t srcHeight, uint32_t rop) = 0;
  // Returns the previous mode, 0 on failure.
  virtual int SetStretchMode(DcHandle dc, int mode) = 0;

  virtual IconHandle CreateIconFromPixels(const IconPixels& pixels) = 0;
  virtual IconHandle CopyIconHandle(IconHandle icon) = 0;
  virtual bool DescribeIcon(IconHandle icon, IconDescription* out) = 0;
  // Draws at the icon's standard size with its top-left corner at (x, y), through its mask.
  virtual bool DrawIconAt(DcHandle dc, int32_t x, int32_t y, IconHandle icon) = 0;
  virtual bool FreeIcon(IconHandle icon) = 0;
};

// The backend this build was made with: GDI on Windows, the memory drawer elsewhere.
GdiApi& DefaultGdi();

}  // namespace ravelo
