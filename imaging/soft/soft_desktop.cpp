#include "imaging/soft/soft_desktop.h"

namespace ravelo {

SoftDesktop::SoftDesktop(SoftGdi& gdi) : m_gdi(gdi) {}

SoftDesktop::~SoftDesktop() {
  if (m_screen != nullptr) m_gdi.DeleteContext(m_screen);
  if (m_cursor != nullptr) m_gdi.FreeIcon(m_cursor);
}

bool SoftDesktop::ShowPicture(int32_t width, int32_t height, const std::vector<uint32_t>& rgb) {
  DcHandle screen = m_gdi.CreateScreenContext(width, height, rgb);
  if (screen == nullptr) return false;
  if (m_screen != nullptr) m_gdi.DeleteContext(m_screen);
  m_screen = screen;
  m_rect = DesktopRect{0, 0, width, height};
  return true;
}

bool SoftDesktop::SetCursor(const IconPixels& picture, int32_t x, int32_t y, uint32_t flags) {
  IconHandle cursor = m_gdi.CreateIconFromPixels(picture);
  if (cursor == nullptr) return false;
  if (m_cursor != nullptr) m_gdi.FreeIcon(m_cursor);
  m_cursor = cursor;
  m_pointerX = x;
  m_pointerY = y;
  m_cursorFlags = flags;
  return true;
}

WindowHandle SoftDesktop::DesktopWindow() { return failWindow ? nullptr : Window(); }

bool SoftDesktop::WindowRect(WindowHandle window, DesktopRect* out) {
  if (failRect || window != Window() || out == nullptr) return false;
  *out = m_rect;
  return true;
}

DcHandle SoftDesktop::AcquireScreenContext(WindowHandle window) {
  if (failContext || window != Window() || m_screen == nullptr) return nullptr;
  ++m_handedOut;
  return m_screen;
}

void SoftDesktop::ReleaseScreenContext(WindowHandle window, DcHandle dc) {
  if (window != Window() || dc != m_screen || m_givenBack >= m_handedOut) {
    ++m_foreign;
    return;
  }
  ++m_givenBack;
}

bool SoftDesktop::ReadCursor(CursorRecord* out) {
  if (failCursor || out == nullptr) return false;
  out->flags = m_cursor != nullptr ? m_cursorFlags : 0;
  out->cursor = m_cursor;
  out->x = m_pointerX;
  out->y = m_pointerY;
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
