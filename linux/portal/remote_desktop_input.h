// What the desktop portal's remote-desktop session offers the input sink: its input calls.
// The session (portal_session.h) implements it; input/portal's sink calls it.
#pragma once

#include <cstdint>

namespace ravelo::portal {

// The portal's input calls, made by the session that holds them.
class RemoteDesktopInput {
 public:
  virtual ~RemoteDesktopInput() = default;
  // The stream absolute moves are placed on, and its size in the compositor's coordinates;
  // false while no session is up.
  virtual bool PointerStream(std::uint32_t& node, double& width, double& height) = 0;
  virtual void PointerMotionAbsolute(std::uint32_t node, double x, double y) = 0;
  virtual void PointerMotion(double dx, double dy) = 0;
  virtual void PointerButton(std::int32_t evdevButton, bool pressed) = 0;
  virtual void KeyboardKeysym(std::int32_t keysym, bool pressed) = 0;
};

}  // namespace ravelo::portal
