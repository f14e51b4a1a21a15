// How a frame of a PipeWire screen-cast stream becomes what the X11 picture code reads,
// without PipeWire's library so that it is tested without a stream: the pixel orders the
// stream may use, the cursor from the buffers' cursor metadata, and the patch of a frame
// copy that the cursor is drawn over and that is put back afterwards.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <vector>

#include "imaging/soft/soft_gdi.h"
#include "imaging/view/view_picture.h"

namespace ravelo::portal {

// The byte order of a frame's 32-bit pixels; the fourth byte is never read.
enum class PixelOrder : std::uint8_t { kBgrx, kRgbx };

// For an SPA video format (spa_video_format); none for a format the capture does not read.
std::optional<PixelOrder> PixelOrderOf(std::uint32_t spaVideoFormat);

// One frame as the stream delivered it: 32-bit pixels, rows from the top.
struct FrameView {
  const std::uint8_t* pixels = nullptr;
  std::ptrdiff_t stride = 0;
  std::int32_t width = 0;
  std::int32_t height = 0;
  PixelOrder order = PixelOrder::kBgrx;
  std::uint64_t serial = 0;  // another value for every new frame
};

// Copies `area` (which lies on the frame) as packed B, G, R, x rows of `pitch` bytes.
void CopyAsBgrx(const FrameView& frame, const view::Rect& area, std::uint8_t* out, std::ptrdiff_t pitch);

// The pointer as the stream's cursor metadata tells it, kept from buffer to buffer: a
// buffer may carry a new position alone, and a new bitmap only when the cursor changed.
struct StreamCursor {
  bool placed = false;  // a position has come
  std::int32_t x = 0;   // the hot spot, in frame pixels
  std::int32_t y = 0;
  std::int32_t hotX = 0;
  std::int32_t hotY = 0;
  std::int32_t width = 0;  // 0: invisible
  std::int32_t height = 0;
  std::vector<std::uint32_t> argb;  // premultiplied, rows from the top

  // The picture to draw, at the pointer less the hot spot; empty when there is none.
  view::CursorPicture Placed() const;
};

// Cursor bitmaps larger than this are refused as damaged metadata.
constexpr std::int32_t kMaxCursorSide = 1024;

// Takes what a buffer's SPA_META_Cursor block (`size` bytes from `meta`) says into
// `cursor`. A block whose bitmap lies outside it, or is of a format not understood, changes
// nothing and returns false.
bool UpdateCursor(const void* meta, std::size_t size, StreamCursor& cursor);

// The pixels of a frame copy under the cursor, saved before the cursor is drawn in and put
// back once the view is made, so that the copy serves the next picture as it came.
class PixelPatch {
 public:
  // Saves `area` of the 32-bit surface, clipped to it.
  void Save(const SurfaceView& surface, const view::Rect& area);
  void Restore(const SurfaceView& surface) const;

 private:
  view::Rect area_;
  std::vector<std::uint8_t> pixels_;
};

}  // namespace ravelo::portal
