// The virtual pointer's arithmetic, free of Wayland so that it is tested without a compositor.
#pragma once

#include <cstdint>
#include <optional>

namespace ravelo::wayland {

// An absolute move as the virtual pointer takes it: a pixel of an output of the given extent.
struct AbsoluteMotion {
  uint32_t x = 0;
  uint32_t y = 0;
  uint32_t xExtent = 0;
  uint32_t yExtent = 0;
};

// The point (dx, dy) of the absolute scale (0..65535 over the output) on an output of
// width x height pixels, landing on the pixel the X11 sink would pick; none without a size.
std::optional<AbsoluteMotion> MotionOnOutput(int32_t dx, int32_t dy, int32_t width, int32_t height);

// The Linux button code (BTN_LEFT, BTN_RIGHT, BTN_MIDDLE) and direction of one mouse:: button
// flag; none for any other value.
struct ButtonPress {
  uint32_t code = 0;
  bool press = false;
};
std::optional<ButtonPress> ButtonForMouseFlags(uint32_t flags);

}  // namespace ravelo::wayland
