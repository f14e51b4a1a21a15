// The desktop through USER: the desktop window, its rectangle, its drawing context and
// the cursor. The handles are the platform's own, cast to the seam's opaque ones.
#define NOMINMAX
#include <windows.h>

#include "imaging/desktop_source.h"
#include "imaging/win32/handle_cast.h"

namespace ravelo {

namespace {

class Win32DesktopSource : public DesktopSource {
 public:
  WindowHandle DesktopWindow() override { return As<WindowHandle>(GetDesktopWindow()); }

  bool WindowRect(WindowHandle window, DesktopRect* out) override {
    RECT r{};
    if (GetWindowRect(As<HWND>(window), &r) == FALSE) return false;
    *out = DesktopRect{r.left, r.top, r.right, r.bottom};
    return true;
  }

  DcHandle AcquireScreenContext(WindowHandle window) override {
    return As<DcHandle>(GetDC(As<HWND>(window)));
  }

  void ReleaseScreenContext(WindowHandle window, DcHandle dc) override {
    ::ReleaseDC(As<HWND>(window), As<HDC>(dc));
  }

  bool ReadCursor(CursorRecord* out) override {
    // The record's size is the platform's own: 20 bytes in a 32-bit program, 24 in a
    // 64-bit one, where the handle is 8 bytes and aligned. Windows refuses any other.
    CURSORINFO info{};
    info.cbSize = sizeof info;
    if (GetCursorInfo(&info) == FALSE) return false;
    out->flags = info.flags;
    out->cursor = As<IconHandle>(info.hCursor);
    out->x = info.ptScreenPos.x;
    out->y = info.ptScreenPos.y;
    return true;
  }
};

#if !defined(_WIN64)
static_assert(sizeof(CURSORINFO) == 20, "the 32-bit cursor record");
#endif

}  // namespace

DesktopSource& DefaultDesktopSource() {
  static Win32DesktopSource desktop;
  return desktop;
}

}  // namespace ravelo
