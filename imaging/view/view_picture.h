// How a grab of the desktop (an X11 screen, a Wayland screen copy, a screen-cast frame) becomes
// the picture file, without any desktop's headers: the cursor blended in, the region cut out
// with black past the screen's edges, and the view written with the project's JPEG writer.
#pragma once

#include <cstdint>
#include <vector>

#include "imaging/soft/soft_gdi.h"
#include "imaging/soft/soft_gdiplus.h"

namespace ravelo::view {

// The cursor as XFixes (and a screen cast's metadata) report it: premultiplied ARGB rows from the top, its top-left
// corner at a desktop position (the pointer less the hot spot).
struct CursorPicture {
  int32_t left = 0;
  int32_t top = 0;
  int32_t width = 0;
  int32_t height = 0;
  std::vector<uint32_t> argb;
};

struct Rect {
  int32_t left = 0;
  int32_t top = 0;
  int32_t width = 0;
  int32_t height = 0;
  bool Empty() const { return width <= 0 || height <= 0; }
};

// Blends the cursor into rows [rowBegin, rowEnd) of `dst` (24 or 32 bits a pixel), whose
// pixel (0, 0) shows desktop pixel (originX, originY). Only pixels of the desktop
// (0, 0, desktopWidth, desktopHeight) are touched, as the cursor is clipped at its edges.
void BlendCursor(const SurfaceView& dst, int32_t originX, int32_t originY, int32_t rowBegin,
                 int32_t rowEnd, int32_t desktopWidth, int32_t desktopHeight,
                 const CursorPicture& cursor);

// The part of the region view with its top-left corner at desktop (x, y) that lies on a
// desktop of the given size; empty when none does.
Rect RegionOnDesktop(int32_t x, int32_t y, int32_t desktopWidth, int32_t desktopHeight);

// The 256x192 view and its JPEG writer, kept from one capture to the next.
class ViewPicture {
 public:
  ViewPicture();
  // 24 bits a pixel, rows from the top.
  SurfaceView Surface();
  void Clear();
  // Writes the JPEG file; a file that could not be written whole is removed.
  bool Save(const char* path);

 private:
  SoftPicture picture_;
  SoftJpegEncoder encoder_;
  std::vector<uint8_t> file_;
};

// The full view from a grab of the whole desktop (32 bits a pixel): the cursor drawn into
// the grab at full size, then the grab scaled onto the view.
bool ComposeFullView(ViewPicture& view, const SurfaceView& grab, const CursorPicture& cursor);

// The region view with its top-left corner at desktop (x, y): `rows` hold the part that
// lies on the desktop (RegionOnDesktop), 32 bits a pixel, rows packed; the rest is black.
void ComposeRegionView(ViewPicture& view, int32_t x, int32_t y, int32_t desktopWidth, int32_t desktopHeight,
                       const uint8_t* rows, const CursorPicture& cursor);

}  // namespace ravelo::view
