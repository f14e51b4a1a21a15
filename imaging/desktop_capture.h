// Desktop capture over the desktop seam and the drawing seam: the screen copied into a
// desktop-sized CImage, the cursor drawn in, scaled or cut to 256x192 and saved as JPEG.
#pragma once

#include <cstdint>

#include "imaging/capture.h"
#include "imaging/desktop_source.h"
#include "imaging/draw_context_pool.h"
#include "imaging/gdi_api.h"
#include "imaging/image.h"
#include "imaging/imaging_startup.h"

namespace ravelo {

class GdiDesktopCapture : public DesktopCapture {
 public:
  // `gdi` must be the pool's backend, or forward to it: the images draw through the pool.
  GdiDesktopCapture(DesktopSource& desktop, GdiApi& gdi, CDrawContextPool& pool,
                    CImagingStartup& startup);
  // Over the process-wide pool, start-up guard and DefaultGdi().
  explicit GdiDesktopCapture(DesktopSource& desktop);

  bool DesktopSize(uint16_t& width, uint16_t& height) override;
  // A drawing context that cannot be had fails the capture like any other step, with
  // everything released; nothing is raised.
  bool CaptureDesktop(bool full, uint16_t x, uint16_t y) override;

  // Draws the showing cursor, hot spot on the pointer, into the image `scope` holds open,
  // whose top-left corner is desktop pixel (originX, originY). A hidden or unreadable
  // cursor draws nothing.
  void DrawCursorOverlay(CImageDrawScope& scope, int32_t originX = 0, int32_t originY = 0);

 private:
  // The w x h desktop's 256x192 piece at (x, y), cursor drawn in, straight from the screen.
  void CopyRegion(CImageDrawScope& view, DcHandle screen, int32_t w, int32_t h, uint16_t x,
                  uint16_t y);
  bool ReadRect(WindowHandle window, DesktopRect* rect);

  DesktopSource& desktop_;
  GdiApi& gdi_;
  CDrawContextPool& pool_;
  CImagingStartup& startup_;
};

}  // namespace ravelo
