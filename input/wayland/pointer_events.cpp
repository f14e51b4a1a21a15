#include "input/wayland/pointer_events.h"

#include <linux/input-event-codes.h>

#include "input/x11/x11_keys.h"

namespace ravelo::wayland {

std::optional<AbsoluteMotion> MotionOnOutput(int32_t dx, int32_t dy, int32_t width, int32_t height) {
  if (width <= 0 || height <= 0) return std::nullopt;
  return AbsoluteMotion{static_cast<uint32_t>(x11::ScaleToPixels(dx, width)),
                        static_cast<uint32_t>(x11::ScaleToPixels(dy, height)), static_cast<uint32_t>(width),
                        static_cast<uint32_t>(height)};
}

std::optional<ButtonPress> ButtonForMouseFlags(uint32_t flags) {
  const std::optional<x11::ButtonEvent> b = x11::ButtonForFlags(flags);
  if (!b) return std::nullopt;
  const uint32_t code = b->button == 1 ? BTN_LEFT : b->button == 2 ? BTN_MIDDLE : BTN_RIGHT;
  return ButtonPress{code, b->press};
}

}  // namespace ravelo::wayland
