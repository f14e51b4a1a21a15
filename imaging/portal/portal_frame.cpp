#include "imaging/portal/portal_frame.h"

#include <spa/buffer/meta.h>
#include <spa/param/video/raw.h>

#include <algorithm>
#include <cstring>

namespace ravelo::portal {
namespace {

// Where each of A, R, G, B sits in a bitmap pixel's four bytes.
struct ByteOrder {
  std::uint32_t format;
  int a, r, g, b;
};

constexpr ByteOrder kCursorFormats[] = {
    {SPA_VIDEO_FORMAT_RGBA, 3, 0, 1, 2},
    {SPA_VIDEO_FORMAT_BGRA, 3, 2, 1, 0},
    {SPA_VIDEO_FORMAT_ARGB, 0, 1, 2, 3},
    {SPA_VIDEO_FORMAT_ABGR, 0, 3, 2, 1},
};

}  // namespace

std::optional<PixelOrder> PixelOrderOf(std::uint32_t spaVideoFormat) {
  switch (spaVideoFormat) {
    case SPA_VIDEO_FORMAT_BGRx:
    case SPA_VIDEO_FORMAT_BGRA: return PixelOrder::kBgrx;
    case SPA_VIDEO_FORMAT_RGBx:
    case SPA_VIDEO_FORMAT_RGBA: return PixelOrder::kRgbx;
    default: return std::nullopt;
  }
}

void CopyAsBgrx(const FrameView& frame, const view::Rect& area, std::uint8_t* out, std::ptrdiff_t pitch) {
  const std::size_t rowBytes = static_cast<std::size_t>(area.width) * 4;
  for (std::int32_t r = 0; r < area.height; ++r) {
    const std::uint8_t* s = frame.pixels + frame.stride * (area.top + r) + std::ptrdiff_t{area.left} * 4;
    std::uint8_t* d = out + pitch * r;
    if (frame.order == PixelOrder::kBgrx) {
      std::memcpy(d, s, rowBytes);
      continue;
    }
    for (std::int32_t i = 0; i < area.width; ++i, s += 4, d += 4) {
      d[0] = s[2];
      d[1] = s[1];
      d[2] = s[0];
      d[3] = 0xFF;
    }
  }
}

view::CursorPicture StreamCursor::Placed() const {
  view::CursorPicture picture;
  if (!placed || width <= 0 || height <= 0) return picture;
  picture.left = x - hotX;
  picture.top = y - hotY;
  picture.width = width;
  picture.height = height;
  picture.argb = argb;
  return picture;
}

bool UpdateCursor(const void* meta, std::size_t size, StreamCursor& cursor) {
  if (meta == nullptr || size < sizeof(spa_meta_cursor)) return false;
  spa_meta_cursor head;
  std::memcpy(&head, meta, sizeof head);
  if (head.id == 0) return true;  // nothing new in this buffer
  const auto* base = static_cast<const std::uint8_t*>(meta);
  StreamCursor next = cursor;
  next.placed = true;
  next.x = head.position.x;
  next.y = head.position.y;
  if (head.bitmap_offset != 0) {
    if (head.bitmap_offset < sizeof(spa_meta_cursor) || size - sizeof(spa_meta_bitmap) < head.bitmap_offset)
      return false;
    spa_meta_bitmap bitmap;
    std::memcpy(&bitmap, base + head.bitmap_offset, sizeof bitmap);
    const std::size_t room = size - head.bitmap_offset;
    if (bitmap.format != 0) {
      next.hotX = head.hotspot.x;
      next.hotY = head.hotspot.y;
      if (bitmap.offset == 0 || bitmap.size.width == 0 || bitmap.size.height == 0) {
        // The cursor is hidden, over this output or for good.
        next.width = 0;
        next.height = 0;
        next.argb.clear();
      } else {
        const ByteOrder* order = nullptr;
        for (const ByteOrder& o : kCursorFormats)
          if (o.format == bitmap.format) order = &o;
        const std::uint64_t w = bitmap.size.width;
        const std::uint64_t h = bitmap.size.height;
        if (order == nullptr || w > kMaxCursorSide || h > kMaxCursorSide || bitmap.stride < 0 ||
            static_cast<std::uint64_t>(bitmap.stride) < w * 4 || bitmap.offset < sizeof(spa_meta_bitmap) ||
            bitmap.offset + static_cast<std::uint64_t>(bitmap.stride) * (h - 1) + w * 4 > room)
          return false;
        next.width = static_cast<std::int32_t>(w);
        next.height = static_cast<std::int32_t>(h);
        next.argb.resize(static_cast<std::size_t>(w * h));
        const std::uint8_t* pixels = base + head.bitmap_offset + bitmap.offset;
        for (std::uint64_t row = 0; row < h; ++row) {
          const std::uint8_t* p = pixels + row * static_cast<std::uint64_t>(bitmap.stride);
          for (std::uint64_t col = 0; col < w; ++col, p += 4) {
            // Premultiplied, as compositors draw their cursors.
            next.argb[static_cast<std::size_t>(row * w + col)] =
                std::uint32_t{p[order->a]} << 24 | std::uint32_t{p[order->r]} << 16 |
                std::uint32_t{p[order->g]} << 8 | std::uint32_t{p[order->b]};
          }
        }
      }
    }
  }
  cursor = std::move(next);
  return true;
}

void PixelPatch::Save(const SurfaceView& surface, const view::Rect& area) {
  const std::int32_t left = std::max(area.left, 0);
  const std::int32_t top = std::max(area.top, 0);
  const std::int64_t right = std::min<std::int64_t>(std::int64_t{area.left} + area.width, surface.width);
  const std::int64_t bottom = std::min<std::int64_t>(std::int64_t{area.top} + area.height, surface.height);
  area_ = view::Rect{left, top, static_cast<std::int32_t>(std::max<std::int64_t>(right - left, 0)),
                    static_cast<std::int32_t>(std::max<std::int64_t>(bottom - top, 0))};
  if (area_.Empty()) {
    area_ = view::Rect{};
    pixels_.clear();
    return;
  }
  const std::size_t rowBytes = static_cast<std::size_t>(area_.width) * 4;
  pixels_.resize(rowBytes * static_cast<std::size_t>(area_.height));
  for (std::int32_t r = 0; r < area_.height; ++r)
    std::memcpy(&pixels_[rowBytes * static_cast<std::size_t>(r)], surface.Row(area_.top + r) + std::ptrdiff_t{area_.left} * 4,
                rowBytes);
}

void PixelPatch::Restore(const SurfaceView& surface) const {
  const std::size_t rowBytes = static_cast<std::size_t>(area_.width) * 4;
  for (std::int32_t r = 0; r < area_.height; ++r)
    std::memcpy(surface.Row(area_.top + r) + std::ptrdiff_t{area_.left} * 4, &pixels_[rowBytes * static_cast<std::size_t>(r)],
                rowBytes);
}

}  // namespace ravelo::portal
