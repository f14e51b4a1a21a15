#include "imaging/desktop_capture.h"

#include <algorithm>
#include <memory>

namespace ravelo {

namespace {

// Gives the screen's drawing context back on every way out of a capture.
class ScreenContext {
 public:
  ScreenContext(DesktopSource& desktop, WindowHandle window)
      : desktop_(desktop), window_(window), dc_(desktop.AcquireScreenContext(window)) {}
  ~ScreenContext() {
    if (dc_ != nullptr) desktop_.ReleaseScreenContext(window_, dc_);
  }
  ScreenContext(const ScreenContext&) = delete;
  ScreenContext& operator=(const ScreenContext&) = delete;
  DcHandle Get() const { return dc_; }

 private:
  DesktopSource& desktop_;
  WindowHandle window_;
  DcHandle dc_;
};

}  // namespace

GdiDesktopCapture::GdiDesktopCapture(DesktopSource& desktop, GdiApi& gdi, CDrawContextPool& pool,
                                     CImagingStartup& startup)
    : desktop_(desktop), gdi_(gdi), pool_(pool), startup_(startup) {}

GdiDesktopCapture::GdiDesktopCapture(DesktopSource& desktop)
    : GdiDesktopCapture(desktop, DefaultGdi(), CDrawContextPool::Instance(),
                        CImagingStartup::Instance()) {}

// An empty or inverted rectangle would become a zero-sized or top-down image (negative
// heights mean top-down to Create) and an unset size for the region origin: no desktop.
bool GdiDesktopCapture::ReadRect(WindowHandle window, DesktopRect* rect) {
  return desktop_.WindowRect(window, rect) && rect->Width() > 0 && rect->Height() > 0;
}

bool GdiDesktopCapture::DesktopSize(uint16_t& width, uint16_t& height) {
  WindowHandle window = desktop_.DesktopWindow();
  if (window == nullptr) return false;
  DesktopRect rect;
  if (!ReadRect(window, &rect)) return false;
  width = static_cast<uint16_t>(rect.Width());
  height = static_cast<uint16_t>(rect.Height());
  return true;
}

bool GdiDesktopCapture::CaptureDesktop(bool full, uint16_t x, uint16_t y) {
  // Declared before the screen context, so that it goes back first and the desktop image,
  // then the view image, are destroyed after it.
  CImage view(pool_, startup_);
  CImage desktop(pool_, startup_);

  WindowHandle window = desktop_.DesktopWindow();
  if (window == nullptr) return false;
  ScreenContext screen(desktop_, window);
  if (screen.Get() == nullptr) return false;
  DesktopRect rect;
  if (!ReadRect(window, &rect)) return false;
  const int32_t w = rect.Width();
  const int32_t h = rect.Height();

  if (!view.Create(kViewWidth, kViewHeight, 24, 0)) return false;
  // The region view needs no desktop-sized copy: it is taken from the screen itself.
  if (full && !desktop.Create(w, h, 24, 0)) return false;

  HResult status = kEFail;
  try {
    CImageDrawScope viewScope(view);
    if (full) {
      CImageDrawScope desktopScope(desktop);
      gdi_.Blit(desktopScope, 0, 0, w, h, screen.Get(), 0, 0, kRopSrcCopy | kRopCaptureBlt);
      DrawCursorOverlay(desktopScope);
      gdi_.SetStretchMode(viewScope, kStretchModeHalftone);
      gdi_.StretchBlit(viewScope, 0, 0, kViewWidth, kViewHeight, desktopScope, 0, 0, w, h,
                        kRopSrcCopy);
      status = view.Save(kFullViewFile, kNullGuid);
    } else {
      CopyRegion(viewScope, screen.Get(), w, h, x, y);
      status = view.Save(kRegionViewFile, kNullGuid);
    }
  } catch (const CAtlException&) {
    // No drawing context (or no text conversion in Save): this picture is lost, the
    // server is not. The scopes have closed; the rest is released on the way out.
    return false;
  }
  return !Failed(status);
}

void GdiDesktopCapture::CopyRegion(CImageDrawScope& view, DcHandle screen, int32_t w, int32_t h,
                                   uint16_t x, uint16_t y) {
  // Only the part of the region on the desktop is copied; the new image is black elsewhere.
  const int32_t width = std::min<int32_t>(kViewWidth, w - x);
  const int32_t height = std::min<int32_t>(kViewHeight, h - y);
  if (width <= 0 || height <= 0) return;
  gdi_.Blit(view, 0, 0, width, height, screen, x, y, kRopSrcCopy | kRopCaptureBlt);
  DrawCursorOverlay(view, x, y);
  // The cursor ends at the desktop's edges, as it would on a desktop-sized copy.
  if (width < kViewWidth) {
    gdi_.Blit(view, width, 0, kViewWidth - width, height, nullptr, 0, 0, kRopBlackness);
  }
  if (height < kViewHeight) {
    gdi_.Blit(view, 0, height, kViewWidth, kViewHeight - height, nullptr, 0, 0, kRopBlackness);
  }
}

void GdiDesktopCapture::DrawCursorOverlay(CImageDrawScope& scope, int32_t originX, int32_t originY) {
  CursorRecord cursor;
  if (!desktop_.ReadCursor(&cursor) || cursor.flags != kCursorShowing) return;
  IconHandle copy = gdi_.CopyIconHandle(cursor.cursor);
  if (copy == nullptr) return;
  IconDescription info;
  if (!gdi_.DescribeIcon(copy, &info)) {
    gdi_.FreeIcon(copy);
    return;
  }
  // Wraps like the platform's signed arithmetic would rather than overflowing.
  const int32_t left =
      static_cast<int32_t>(static_cast<uint32_t>(cursor.x) - info.hotX - static_cast<uint32_t>(originX));
  const int32_t top =
      static_cast<int32_t>(static_cast<uint32_t>(cursor.y) - info.hotY - static_cast<uint32_t>(originY));
  gdi_.DrawIconAt(scope, left, top, copy);
  gdi_.FreeIcon(copy);
  if (info.mask != nullptr) gdi_.FreeBitmap(info.mask);
  if (info.color != nullptr) gdi_.FreeBitmap(info.color);
}

std::unique_ptr<DesktopCapture> MakeDesktopCapture() {
  return std::make_unique<GdiDesktopCapture>(DefaultDesktopSource());
}

}  // namespace ravelo
