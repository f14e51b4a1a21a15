#include "imaging/portal/frame_capture.h"

#include <algorithm>
#include <limits>

#include "imaging/soft/halftone_axis.h"

namespace ravelo::portal {
namespace {

// On one axis: the view pixels whose source spans reach into source pixels [lo, hi), and
// the source pixels those view pixels read.
struct Band {
  std::int32_t view0, view1, src0, src1;
  bool Empty() const { return view0 >= view1; }
};

Band BandOver(std::int32_t lo, std::int32_t hi, std::int32_t length, std::int32_t viewLength) {
  const halftone::Axis axis = halftone::MapAxis(viewLength, length, 0, viewLength);
  Band b{viewLength, 0, length, 0};
  for (std::int32_t i = 0; i < viewLength; ++i) {
    const halftone::Span& s = axis.spans[static_cast<std::size_t>(i)];
    if (s.last < lo || s.first >= hi) continue;
    b.view0 = std::min(b.view0, i);
    b.view1 = std::max(b.view1, i + 1);
    b.src0 = std::min(b.src0, s.first);
    b.src1 = std::max(b.src1, s.last + 1);
  }
  return b;
}

bool Overlaps(const view::CursorPicture& cursor, std::int32_t width, std::int32_t height) {
  return cursor.width > 0 && cursor.height > 0 && cursor.left < width && cursor.top < height &&
         std::int64_t{cursor.left} + cursor.width > 0 && std::int64_t{cursor.top} + cursor.height > 0;
}

}  // namespace

const FrameView* FrameCapture::Frame() {
  const FrameView* frame = source_.NewestFrame(waited_ ? 0 : kFirstFrameWaitMs);
  waited_ = true;
  if (frame == nullptr || frame->pixels == nullptr || frame->width <= 0 || frame->height <= 0 ||
      frame->width > std::numeric_limits<std::uint16_t>::max() ||
      frame->height > std::numeric_limits<std::uint16_t>::max() || frame->stride < std::ptrdiff_t{frame->width} * 4)
    return nullptr;
  return frame;
}

bool FrameCapture::DesktopSize(std::uint16_t& width, std::uint16_t& height) {
  const FrameView* frame = Frame();
  if (frame == nullptr) return false;
  width = static_cast<std::uint16_t>(frame->width);
  height = static_cast<std::uint16_t>(frame->height);
  return true;
}

bool FrameCapture::CaptureDesktop(bool full, std::uint16_t x, std::uint16_t y) {
  try {
    const FrameView* frame = Frame();
    if (frame == nullptr) return false;
    return full ? FullView(*frame) : RegionView(*frame, x, y);
  } catch (...) {
    return false;  // out of memory: this picture is lost, the server is not
  }
}

bool FrameCapture::FullView(const FrameView& frame) {
  const view::CursorPicture cursor = source_.Cursor();
  const bool drawCursor = Overlaps(cursor, frame.width, frame.height);
  if (frame.order == PixelOrder::kBgrx) {
    // Read in place: with no cursor to draw, the view's code only reads the grab.
    const SurfaceView grab{const_cast<std::uint8_t*>(frame.pixels), frame.stride, frame.width, frame.height, 32};
    if (!view::ComposeFullView(view_, grab, view::CursorPicture{})) return false;
    if (drawCursor && !RedrawUnderCursor(frame, cursor)) return false;
    return view_.Save(kFullViewFile);
  }
  const std::size_t bytes = static_cast<std::size_t>(frame.width) * static_cast<std::size_t>(frame.height) * 4;
  if (!copyValid_ || copySerial_ != frame.serial || copy_.size() != bytes) {
    copyValid_ = false;
    copy_.resize(bytes);
    CopyAsBgrx(frame, view::Rect{0, 0, frame.width, frame.height}, copy_.data(), std::ptrdiff_t{frame.width} * 4);
    copySerial_ = frame.serial;
    copyValid_ = true;
  }
  const SurfaceView grab{copy_.data(), std::ptrdiff_t{frame.width} * 4, frame.width, frame.height, 32};
  PixelPatch patch;
  patch.Save(grab, view::Rect{cursor.left, cursor.top, cursor.width, cursor.height});
  const bool composed = view::ComposeFullView(view_, grab, cursor);
  patch.Restore(grab);
  return composed && view_.Save(kFullViewFile);
}

bool FrameCapture::RedrawUnderCursor(const FrameView& frame, const view::CursorPicture& cursor) {
  const std::int32_t w = frame.width;
  const std::int32_t h = frame.height;
  const Band xs = BandOver(std::max(cursor.left, 0), static_cast<std::int32_t>(std::min<std::int64_t>(std::int64_t{cursor.left} + cursor.width, w)), w, kViewWidth);
  const Band ys = BandOver(std::max(cursor.top, 0), static_cast<std::int32_t>(std::min<std::int64_t>(std::int64_t{cursor.top} + cursor.height, h)), h, kViewHeight);
  if (xs.Empty() || ys.Empty()) return true;
  // A surface of the frame's size of which only the pixels those view pixels read are
  // filled, the cursor drawn into them; the stretch reads nothing else.
  const std::size_t bytes = static_cast<std::size_t>(w) * static_cast<std::size_t>(h) * 4;
  if (scratch_.size() != bytes) scratch_.assign(bytes, 0);
  const SurfaceView scratch{scratch_.data(), std::ptrdiff_t{w} * 4, w, h, 32};
  CopyAsBgrx(frame, view::Rect{xs.src0, ys.src0, xs.src1 - xs.src0, ys.src1 - ys.src0},
             scratch.Row(ys.src0) + std::ptrdiff_t{xs.src0} * 4, scratch.pitch);
  view::BlendCursor(scratch, 0, 0, ys.src0, ys.src1, w, h, cursor);
  const SurfaceView view = view_.Surface();
  const SurfaceView tile{view.Row(ys.view0) + std::ptrdiff_t{xs.view0} * 3, view.pitch, xs.view1 - xs.view0,
                         ys.view1 - ys.view0, 24};
  return HalftoneStretch(tile, -xs.view0, -ys.view0, kViewWidth, kViewHeight, scratch);
}

bool FrameCapture::RegionView(const FrameView& frame, std::int32_t x, std::int32_t y) {
  const view::Rect area = view::RegionOnDesktop(x, y, frame.width, frame.height);
  region_.resize(static_cast<std::size_t>(area.width) * static_cast<std::size_t>(area.height) * 4);
  if (!area.Empty()) CopyAsBgrx(frame, area, region_.data(), std::ptrdiff_t{area.width} * 4);
  view::ComposeRegionView(view_, x, y, frame.width, frame.height, region_.data(), source_.Cursor());
  return view_.Save(kRegionViewFile);
}

}  // namespace ravelo::portal
