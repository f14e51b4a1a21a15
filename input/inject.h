// What the session hands the client's pointer, button and key messages to.
#pragma once

#include <cstdint>

namespace ravelo {

// Last client point of a relative move; (0, 0) means there is none yet.
struct PointerAnchor {
  std::uint8_t x = 0;
  std::uint8_t y = 0;
};

class InputInjector {
 public:
  virtual ~InputInjector() = default;

  virtual void MovePointerAbsolute(std::uint8_t x, std::uint8_t y) = 0;
  virtual void MovePointerRelative(PointerAnchor& anchor, std::uint8_t x, std::uint8_t y) = 0;
  virtual void SetPointerAnchor(PointerAnchor& anchor, std::uint8_t x, std::uint8_t y) = 0;
  virtual void MovePointerInRegion(std::uint8_t originX, std::uint8_t originY,
                                   std::uint8_t offsetX, std::uint8_t offsetY) = 0;
  virtual void LeftButtonDown() = 0;
  virtual void LeftButtonUp() = 0;
  virtual void RightButtonDown() = 0;
  virtual void RightButtonUp() = 0;
  virtual void MiddleButtonDown() = 0;
  virtual void MiddleButtonUp() = 0;
  virtual void SendKey(std::uint16_t code, bool down) = 0;
};

}  // namespace ravelo
