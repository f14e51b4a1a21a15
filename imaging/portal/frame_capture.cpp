#include "imaging/portal/frame_capture.h"

#include <limits>

namespace ravelo::portal {
namespace {

bool Overlaps(const x11::CursorPicture& cursor, std::int32_t width, std::int32_t height) {
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
  const x11::CursorPicture cursor = source_.Cursor();
  const bool drawCursor = Overlaps(cursor, frame.width, frame.height);
  if (frame.order == PixelOrder::kBgrx && !drawCursor) {
    // Read in place: with no cursor to draw, the view's code only reads the grab.
    const SurfaceView grab{const_cast<std::uint8_t*>(frame.pixels), frame.stride, frame.width, frame.height, 32};
    if (!x11::ComposeFullView(view_, grab, x11::CursorPicture{})) return false;
    return view_.Save(kFullViewFile);
  }
  const std::size_t bytes = static_cast<std::size_t>(frame.width) * static_cast<std::size_t>(frame.height) * 4;
  if (!copyValid_ || copySerial_ != frame.serial || copy_.size() != bytes) {
    copyValid_ = false;
    copy_.resize(bytes);
    CopyAsBgrx(frame, x11::Rect{0, 0, frame.width, frame.height}, copy_.data(), std::ptrdiff_t{frame.width} * 4);
    copySerial_ = frame.serial;
    copyValid_ = true;
  }
  const SurfaceView grab{copy_.data(), std::ptrdiff_t{frame.width} * 4, frame.width, frame.height, 32};
  PixelPatch patch;
  patch.Save(grab, x11::Rect{cursor.left, cursor.top, cursor.width, cursor.height});
  const bool composed = x11::ComposeFullView(view_, grab, cursor);
  patch.Restore(grab);
  return composed && view_.Save(kFullViewFile);
}

bool FrameCapture::RegionView(const FrameView& frame, std::int32_t x, std::int32_t y) {
  const x11::Rect area = x11::RegionOnDesktop(x, y, frame.width, frame.height);
  region_.resize(static_cast<std::size_t>(area.width) * static_cast<std::size_t>(area.height) * 4);
  if (!area.Empty()) CopyAsBgrx(frame, area, region_.data(), std::ptrdiff_t{area.width} * 4);
  x11::ComposeRegionView(view_, x, y, frame.width, frame.height, region_.data(), source_.Cursor());
  return view_.Save(kRegionViewFile);
}

}  // namespace ravelo::portal
