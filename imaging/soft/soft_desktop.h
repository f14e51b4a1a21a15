// A desktop held in memory, over SoftGdi: a picture as the screen, a rectangle, a cursor
// made from pixels, and switches that make each platform call fail. It counts the screen
// contexts it hands out and gets back, so that a caller's leaks and double releases show.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

#include "imaging/desktop_source.h"
#include "imaging/soft/soft_gdi.h"

namespace ravelo {

class SoftDesktop : public DesktopSource {
 public:
  explicit SoftDesktop(SoftGdi& gdi);
  ~SoftDesktop() override;
  SoftDesktop(const SoftDesktop&) = delete;
  SoftDesktop& operator=(const SoftDesktop&) = delete;

  // Shows `rgb` (0x00RRGGBB, rows from the top) and makes the rectangle (0, 0, w, h).
  bool ShowPicture(int32_t width, int32_t height, const std::vector<uint32_t>& rgb);
  // A rectangle that need not match the picture.
  void SetRect(const DesktopRect& rect) { rect_ = rect; }
  // A cursor with the picture's hot spot, the pointer at (x, y).
  bool SetCursor(const IconPixels& picture, int32_t x, int32_t y, uint32_t flags = kCursorShowing);
  void SetCursorState(uint32_t flags) { cursor_flags_ = flags; }
  IconHandle Cursor() const { return cursor_; }
  DcHandle Screen() const { return screen_; }

  // Scripted refusals.
  bool failWindow = false;
  bool failRect = false;
  bool failContext = false;
  bool failCursor = false;

  size_t ContextsHandedOut() const { return handed_out_; }
  size_t ContextsGivenBack() const { return given_back_; }
  // Releases of a context this desktop did not hand out, or with another window.
  size_t ForeignReleases() const { return foreign_; }

  WindowHandle DesktopWindow() override;
  bool WindowRect(WindowHandle window, DesktopRect* out) override;
  DcHandle AcquireScreenContext(WindowHandle window) override;
  void ReleaseScreenContext(WindowHandle window, DcHandle dc) override;
  bool ReadCursor(CursorRecord* out) override;

 private:
  WindowHandle Window() { return reinterpret_cast<WindowHandle>(this); }

  SoftGdi& gdi_;
  DcHandle screen_ = nullptr;  // one context serves every hand-out, as the screen is one
  DesktopRect rect_;
  IconHandle cursor_ = nullptr;
  uint32_t cursor_flags_ = 0;
  int32_t pointer_x_ = 0;
  int32_t pointer_y_ = 0;
  size_t handed_out_ = 0;
  size_t given_back_ = 0;
  size_t foreign_ = 0;
};

}  // namespace ravelo
