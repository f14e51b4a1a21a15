// Input injection: the client's pointer, button and key messages as synthetic input events.
// The arithmetic and the key table are here; the platform is reached only through InputSink.
#pragma once

#include <bitset>
#include <cstdint>
#include <optional>

#include "imaging/capture.h"

namespace ravelo {

// Last client point of a relative move; (0, 0) means there is none yet.
struct PointerAnchor {
  std::uint8_t x = 0;
  std::uint8_t y = 0;
};

// A point in the platform's absolute pointer space: 0..65535 across the primary display.
struct NormalizedPoint {
  std::int32_t x = 0;
  std::int32_t y = 0;
};

// The client point (x, y) of the overview, on the absolute pointer scale.
NormalizedPoint NormalizeClientPoint(std::uint8_t x, std::uint8_t y);

// Mouse event flags, as the platform numbers them; every backend understands these.
namespace mouse {
constexpr std::uint32_t kMove = 0x0001;
constexpr std::uint32_t kAbsolute = 0x8000;
constexpr std::uint32_t kLeftDown = 0x0002;
constexpr std::uint32_t kLeftUp = 0x0004;
constexpr std::uint32_t kRightDown = 0x0008;
constexpr std::uint32_t kRightUp = 0x0010;
constexpr std::uint32_t kMiddleDown = 0x0020;
constexpr std::uint32_t kMiddleUp = 0x0040;
}  // namespace mouse

// Virtual-key codes of the modifiers a character may need.
namespace vk {
constexpr std::uint16_t kShift = 0x10;
constexpr std::uint16_t kControl = 0x11;
constexpr std::uint16_t kAlt = 0x12;
}  // namespace vk

// What a key code from the client stands for.
struct KeyCodeEntry {
  enum Kind : std::uint8_t { kCharacter, kVirtualKey, kNoEvent };
  Kind kind = kCharacter;
  std::uint16_t virtualKey = 0;  // for kVirtualKey
};

// The special key codes 128..161; every other code is a character of the local 8-bit set.
KeyCodeEntry KeyCodeMap(std::uint16_t code);

// A key of the local keyboard layout and the modifiers (modifier::) it is typed with.
struct LayoutKey {
  std::uint16_t key = 0;
  std::uint8_t modifiers = 0;
};

namespace modifier {
constexpr std::uint8_t kShift = 0x01;
constexpr std::uint8_t kControl = 0x02;
constexpr std::uint8_t kAlt = 0x04;
}  // namespace modifier

// A layout scan in the platform's packed form (key in the low byte, shift state in the high
// byte, 0xFFFF when no key types the character), split.
std::optional<LayoutKey> SplitKeyScan(std::uint16_t scan);

// The platform's input, one event per call.
class InputSink {
 public:
  virtual ~InputSink() = default;
  // Absolute: (dx, dy) is a NormalizedPoint. Relative: a distance in device units.
  virtual void SendPointerMove(std::int32_t dx, std::int32_t dy, bool relative) = 0;
  // Exactly one of the mouse:: button flags.
  virtual void SendPointerButton(std::uint32_t flags) = 0;
  // `key` is a virtual-key code (from the key table, or a vk:: modifier), or a key that
  // ScanCharacter answered; backends may number their layout keys from 0x100 up.
  virtual void SendKeyEvent(std::uint16_t key, bool down) = 0;
  // The key of the local layout that types `character`; none when the layout lacks it.
  virtual std::optional<LayoutKey> ScanCharacter(std::uint8_t character) = 0;
};

// What the session hands the client's pointer, button and key messages to.
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
  // The session ended: lets go of every button and key this program pressed and has not
  // released, so that nothing stays held for the person at the desktop.
  virtual void ReleaseHeld() = 0;
};

// The injector over a platform sink; the desktop gives the size for region moves.
class SinkInputInjector : public InputInjector {
 public:
  SinkInputInjector(InputSink& sink, DesktopCapture& desktop) : sink_(sink), desktop_(desktop) {}

  void MovePointerAbsolute(std::uint8_t x, std::uint8_t y) override;
  void MovePointerRelative(PointerAnchor& anchor, std::uint8_t x, std::uint8_t y) override;
  void SetPointerAnchor(PointerAnchor& anchor, std::uint8_t x, std::uint8_t y) override;
  void MovePointerInRegion(std::uint8_t originX, std::uint8_t originY, std::uint8_t offsetX,
                           std::uint8_t offsetY) override;
  void LeftButtonDown() override { Button(mouse::kLeftDown); }
  void LeftButtonUp() override { Button(mouse::kLeftUp); }
  void RightButtonDown() override { Button(mouse::kRightDown); }
  void RightButtonUp() override { Button(mouse::kRightUp); }
  void MiddleButtonDown() override { Button(mouse::kMiddleDown); }
  void MiddleButtonUp() override { Button(mouse::kMiddleUp); }
  void SendKey(std::uint16_t code, bool down) override;
  void ReleaseHeld() override;

  // Keys are tracked up to this number; every backend's keys lie below it.
  static constexpr int kTrackedKeys = 0x200;

 private:
  void Button(std::uint32_t flags);
  void Key(std::uint16_t key, bool down);

  InputSink& sink_;
  DesktopCapture& desktop_;
  std::uint32_t held_buttons_ = 0;  // the down flags of the buttons held
  std::bitset<kTrackedKeys> held_keys_;
  // The layout key each character's last key-down pressed (0: none), so that its key-up
  // lets go of that key even when the layout changed in between.
  std::uint16_t character_keys_[256] = {};
};

}  // namespace ravelo
