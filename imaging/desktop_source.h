// The desktop and its cursor as the capture reads them: the desktop window, its rectangle,
// a drawing context with the screen's pixels, and where the pointer is and what it shows.
// The cursor's picture itself is drawn through GdiApi (CopyIconHandle, DescribeIcon,
// DrawIconAt, FreeIcon), which shares the icon handles.
#pragma once

#include <cstdint>

#include "imaging/gdi_api.h"

namespace ravelo {

// Opaque like the drawing handles; on Windows it is the HWND itself.
struct WindowObject;
using WindowHandle = WindowObject*;

struct DesktopRect {
  int32_t left = 0;
  int32_t top = 0;
  int32_t right = 0;
  int32_t bottom = 0;
  int32_t Width() const { return right - left; }
  int32_t Height() const { return bottom - top; }
};

// The only cursor state that is drawn.
inline constexpr uint32_t kCursorShowing = 1;

struct CursorRecord {
  uint32_t flags = 0;
  IconHandle cursor = nullptr;  // shared: draw a copy, never free it
  int32_t x = 0;                // screen position of the pointer
  int32_t y = 0;
};

class DesktopSource {
 public:
  virtual ~DesktopSource() = default;

  // Null when there is none.
  virtual WindowHandle DesktopWindow() = 0;
  virtual bool WindowRect(WindowHandle window, DesktopRect* out) = 0;
  // A context from which the screen's pixels are copied, null on failure. Every one
  // handed out must be given back with ReleaseScreenContext.
  virtual DcHandle AcquireScreenContext(WindowHandle window) = 0;
  virtual void ReleaseScreenContext(WindowHandle window, DcHandle dc) = 0;
  virtual bool ReadCursor(CursorRecord* out) = 0;
};

// The desktop this build reads: the Windows desktop through USER and GDI, elsewhere a
// software desktop over DefaultGdi() showing a fixed test picture without a cursor.
DesktopSource& DefaultDesktopSource();

}  // namespace ravelo
