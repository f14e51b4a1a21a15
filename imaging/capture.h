// Desktop capture: the desktop, cursor drawn in, as a 256x192 JPEG file for the client.
#pragma once

#include <cstdint>
#include <memory>

namespace ravelo {

// The two pictures, relative to the process's current directory.
inline constexpr char kFullViewFile[] = "bufferfull.jpg";    // the whole desktop, scaled
inline constexpr char kRegionViewFile[] = "bufferpart.jpg";  // an unscaled 256x192 piece

inline constexpr int32_t kViewWidth = 256;
inline constexpr int32_t kViewHeight = 192;

// What a picture request needs from the desktop. The server holds one of these.
class DesktopCapture {
 public:
  virtual ~DesktopCapture() = default;
  // The desktop's size in pixels, read afresh; on failure returns false and writes nothing.
  virtual bool DesktopSize(std::uint16_t& width, std::uint16_t& height) = 0;
  // Writes the full view (`full`) or the region view with its top-left corner at desktop
  // pixel (x, y). True when the view's file has been written.
  virtual bool CaptureDesktop(bool full, std::uint16_t x, std::uint16_t y) = 0;
};

// This platform's desktop: the Windows desktop through GDI; in native builds a software
// desktop with a fixed 1024x768 test picture and no cursor, for running the server's
// picture path without a display. Never null.
std::unique_ptr<DesktopCapture> MakeDesktopCapture();

}  // namespace ravelo
