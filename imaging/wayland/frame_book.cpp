#include "imaging/wayland/frame_book.h"

#include <cstring>

#include "imaging/view/view_picture.h"

namespace ravelo::wayland {

bool Readable(const FrameLayout& l) {
  if (l.format != shm_format::kArgb8888 && l.format != shm_format::kXrgb8888) return false;
  if (l.width <= 0 || l.height <= 0 || l.stride < int64_t{l.width} * 4) return false;
  return int64_t{l.stride} * l.height <= kMaxFrameBytes;
}

std::optional<uint32_t> PickFormat(const std::vector<uint32_t>& offered) {
  // Without alpha first: nothing is to be blended, and it is what outputs scan out.
  for (uint32_t wanted : {shm_format::kXrgb8888, shm_format::kArgb8888})
    for (uint32_t f : offered)
      if (f == wanted) return f;
  return std::nullopt;
}

bool FrameBook::Configure(const FrameLayout& layout) {
  if (configured_ && layout == layout_) return false;
  layout_ = layout;
  configured_ = true;
  newest_ = -1;
  return true;
}

std::optional<int> FrameBook::BeginCopy() {
  if (!configured_ || copying_ >= 0) return std::nullopt;
  copying_ = newest_ == 0 ? 1 : 0;
  return copying_;
}

void FrameBook::CopyReady(bool yInverted) {
  if (copying_ < 0) return;
  newest_ = copying_;
  inverted_ = yInverted;
  copying_ = -1;
  ++frames_;
}

void FrameBook::CopyFailed() { copying_ = -1; }

SurfaceView FrameView(uint8_t* memory, const FrameLayout& layout, bool yInverted) {
  SurfaceView v;
  v.width = layout.width;
  v.height = layout.height;
  v.bitsPerPixel = 32;
  v.pitch = yInverted ? -static_cast<ptrdiff_t>(layout.stride) : layout.stride;
  v.top = yInverted ? memory + static_cast<ptrdiff_t>(layout.stride) * (layout.height - 1) : memory;
  return v;
}

void PackRegion(const SurfaceView& frame, int32_t x, int32_t y, std::vector<uint8_t>* rows) {
  const view::Rect area = view::RegionOnDesktop(x, y, frame.width, frame.height);
  const size_t rowBytes = static_cast<size_t>(area.width) * 4;
  rows->resize(rowBytes * static_cast<size_t>(area.height));
  for (int32_t r = 0; r < area.height; ++r)
    std::memcpy(rows->data() + rowBytes * r, frame.Row(area.top + r) + static_cast<ptrdiff_t>(area.left) * 4, rowBytes);
}

}  // namespace ravelo::wayland
