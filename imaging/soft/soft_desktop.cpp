#include "imaging/soft/soft_desktop.h"

namespace ravelo {

SoftDesktop::SoftDesktop(SoftGdi& gdi) : gdi_(gdi) {}

SoftDesktop::~SoftDesktop() {
  if (screen_ != nullptr) gdi_.DeleteContext(screen_);
  if (cursor_ != nullptr) gdi_.FreeIcon(cursor_);
}

bool SoftDesktop::ShowPicture(int32_t width, int32_t height, const std::vector<uint32_t>& rgb) {
  DcHandle screen = gdi_.CreateScreenContext(width, height, rgb);
  if (screen == nullptr) return false;
  if (screen_ != nullptr) gdi_.DeleteContext(screen_);
  screen_ = screen;
  rect_ = DesktopRect{0, 0, width, height};
  return true;
}

bool SoftDesktop::SetCursor(const IconPixels& picture, int32_t x, int32_t y, uint32_t flags) {
  IconHandle cursor = gdi_.CreateIconFromPixels(picture);
  if (cursor == nullptr) return false;
  if (cursor_ != nullptr) gdi_.FreeIcon(cursor_);
  cursor_ = cursor;
  pointer_x_ = x;
  pointer_y_ = y;
  cursor_flags_ = flags;
  return true;
}

WindowHandle SoftDesktop::DesktopWindow() { return failWindow ? nullptr : Window(); }

bool SoftDesktop::WindowRect(WindowHandle window, DesktopRect* out) {
  if (failRect || window != Window() || out == nullptr) return false;
  *out = rect_;
  return true;
}

DcHandle SoftDesktop::AcquireScreenContext(WindowHandle window) {
  if (failContext || window != Window() || screen_ == nullptr) return nullptr;
  ++handed_out_;
  return screen_;
}

void SoftDesktop::ReleaseScreenContext(WindowHandle window, DcHandle dc) {
  if (window != Window() || dc != screen_ || given_back_ >= handed_out_) {
    ++foreign_;
    return;
  }
  ++given_back_;
}

bool SoftDesktop::ReadCursor(CursorRecord* out) {
  if (failCursor || out == nullptr) return false;
  out->flags = cursor_ != nullptr ? cursor_flags_ : 0;
  out->cursor = cursor_;
  out->x = pointer_x_;
  out->y = pointer_y_;
  return true;
}

namespace {

// Eight vertical colour bars over a grey ramp: enough to tell scaling, cropping and
// colour order apart by eye in a picture taken without a display.
std::vector<uint32_t> TestCard(int32_t width, int32_t height) {
  static const uint32_t kBars[] = {0xFFFFFF, 0xFFFF00, 0x00FFFF, 0x00FF00,
                                   0xFF00FF, 0xFF0000, 0x0000FF, 0x000000};
  std::vector<uint32_t> rgb(static_cast<size_t>(width) * static_cast<size_t>(height));
  for (int32_t y = 0; y < height; ++y)
    for (int32_t x = 0; x < width; ++x) {
      uint32_t c;
      if (y < height * 3 / 4) {
        c = kBars[x * 8 / width];
      } else {
        const uint32_t g = static_cast<uint32_t>(x * 255 / (width - 1));
        c = g << 16 | g << 8 | g;
      }
      rgb[static_cast<size_t>(y) * static_cast<size_t>(width) + static_cast<size_t>(x)] = c;
    }
  return rgb;
}

}  // namespace

DesktopSource& DefaultDesktopSource() {
  static SoftDesktop desktop(SoftGdi::Default());
  static const bool shown = desktop.ShowPicture(1024, 768, TestCard(1024, 768));
  (void)shown;
  return desktop;
}

}  // namespace ravelo
