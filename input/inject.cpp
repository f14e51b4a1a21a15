#include "input/inject.h"

#include "wire/protocol.h"

namespace ravelo {
namespace {

constexpr std::int32_t kScale = 65535;
constexpr std::uint16_t kFirstSpecial = 128;
constexpr std::uint16_t kLastSpecial = 161;
constexpr std::uint16_t kNoKey = 0xFFFF;

constexpr KeyCodeEntry Vk(std::uint16_t key) { return {KeyCodeEntry::kVirtualKey, key}; }
constexpr KeyCodeEntry kNone{KeyCodeEntry::kNoEvent, 0};
constexpr KeyCodeEntry kChar{KeyCodeEntry::kCharacter, 0};

// Codes 128..161 in order.
constexpr KeyCodeEntry kSpecialKeys[kLastSpecial - kFirstSpecial + 1] = {
    Vk(0x08),                                                        // 128 Backspace
    Vk(0x70), Vk(0x71), Vk(0x72), Vk(0x73), Vk(0x74), Vk(0x75),      // 129..134 F1..F6
    Vk(0x76), Vk(0x77), Vk(0x78), Vk(0x79), Vk(0x7A), Vk(0x7B),      // 135..140 F7..F12
    kNone,                                                           // 141
    Vk(0x24), Vk(0x21), Vk(0x22), Vk(0x23),                          // 142..145 Home, PgUp, PgDn, End
    Vk(0x09), Vk(0x1B),                                              // 146 Tab, 147 Escape
    kNone, kNone, kNone,                                             // 148..150
    kChar,                                                           // 151 goes the character path
    kNone, kNone, kNone,                                             // 152..154
    Vk(0x26), Vk(0x28), Vk(0x25), Vk(0x27),                          // 155..158 Up, Down, Left, Right
    Vk(0x2D), Vk(0x2E), Vk(0x0D),                                    // 159 Insert, 160 Delete, 161 Enter
};

// Modifier bits and their keys, in the order they go down.
constexpr struct {
  std::uint8_t bit;
  std::uint16_t key;
} kModifiers[] = {
    {modifier::kShift, vk::kShift},
    {modifier::kControl, vk::kControl},
    {modifier::kAlt, vk::kAlt},
};

std::int32_t Clamp(std::int32_t value) { return value > kScale ? kScale : value; }

std::int32_t Normalize(std::uint8_t p, int span) { return Clamp(wire::OverviewToAxis(p, kScale, span)); }

// Each button's down flag and the up flag that releases it.
constexpr struct {
  std::uint32_t down;
  std::uint32_t up;
} kButtons[] = {
    {mouse::kLeftDown, mouse::kLeftUp},
    {mouse::kRightDown, mouse::kRightUp},
    {mouse::kMiddleDown, mouse::kMiddleUp},
};

}  // namespace

NormalizedPoint NormalizeClientPoint(std::uint8_t x, std::uint8_t y) {
  return {Normalize(x, wire::kSpanX), Normalize(y, wire::kSpanY)};
}

KeyCodeEntry KeyCodeMap(std::uint16_t code) {
  if (code < kFirstSpecial || code > kLastSpecial) return kChar;
  return kSpecialKeys[code - kFirstSpecial];
}

std::optional<LayoutKey> SplitKeyScan(std::uint16_t scan) {
  if (scan == kNoKey) return std::nullopt;
  return LayoutKey{static_cast<std::uint16_t>(scan & 0xFF), static_cast<std::uint8_t>(scan >> 8)};
}

void SinkInputInjector::MovePointerAbsolute(std::uint8_t x, std::uint8_t y) {
  NormalizedPoint p = NormalizeClientPoint(x, y);
  sink_.SendPointerMove(p.x, p.y, false);
}

void SinkInputInjector::MovePointerRelative(PointerAnchor& anchor, std::uint8_t x, std::uint8_t y) {
  if (anchor.x == 0 && anchor.y == 0) {
    anchor = {x, y};
    return;
  }
  const std::int32_t dx = x - anchor.x;
  const std::int32_t dy = y - anchor.y;
  anchor = {x, y};
  sink_.SendPointerMove(dx, dy, true);
}

void SinkInputInjector::SetPointerAnchor(PointerAnchor& anchor, std::uint8_t x, std::uint8_t y) {
  anchor = {x, y};
}

void SinkInputInjector::MovePointerInRegion(std::uint8_t originX, std::uint8_t originY,
                                            std::uint8_t offsetX, std::uint8_t offsetY) {
  NormalizedPoint origin = NormalizeClientPoint(originX, originY);
  std::uint16_t width = 0;
  std::uint16_t height = 0;
  // The offsets are scaled by the desktop's size: without one there is nowhere to go.
  if (!desktop_.DesktopSize(width, height) || width == 0 || height == 0) return;
  sink_.SendPointerMove(Clamp(origin.x + offsetX * kScale / width),
                        Clamp(origin.y + offsetY * kScale / height), false);
}

void SinkInputInjector::Button(std::uint32_t flags) {
  for (const auto& b : kButtons) {
    if (flags == b.down) held_buttons_ |= b.down;
    if (flags == b.up) held_buttons_ &= ~b.down;
  }
  sink_.SendPointerButton(flags);
}

void SinkInputInjector::SendKey(std::uint16_t code, bool down) {
  const KeyCodeEntry entry = KeyCodeMap(code);
  if (entry.kind == KeyCodeEntry::kNoEvent) return;
  if (entry.kind == KeyCodeEntry::kVirtualKey) {
    Key(entry.virtualKey, down);
    return;
  }
  std::uint16_t& pressed = character_keys_[code & 0xFF];
  if (!down && pressed != 0) {
    Key(pressed, false);
    pressed = 0;
    return;
  }
  std::optional<LayoutKey> key = sink_.ScanCharacter(static_cast<std::uint8_t>(code));
  if (!key) return;  // no key of this layout types it
  if (!down) {
    Key(key->key, false);
    return;
  }
  pressed = key->key;
  // The modifiers are held only around the key-down that makes the character, so that
  // a held character key does not hold Shift as well.
  for (const auto& m : kModifiers) {
    if (key->modifiers & m.bit) Key(m.key, true);
  }
  Key(key->key, true);
  for (auto m = std::rbegin(kModifiers); m != std::rend(kModifiers); ++m) {
    if (key->modifiers & m->bit) Key(m->key, false);
  }
}

void SinkInputInjector::Key(std::uint16_t key, bool down) {
  if (key < kTrackedKeys) held_keys_[key] = down;
  sink_.SendKeyEvent(key, down);
}

void SinkInputInjector::ReleaseHeld() {
  for (const auto& b : kButtons) {
    if (held_buttons_ & b.down) Button(b.up);
  }
  for (std::uint16_t key = 0; key < kTrackedKeys && held_keys_.any(); ++key) {
    if (held_keys_[key]) Key(key, false);
  }
  for (std::uint16_t& key : character_keys_) key = 0;
}

}  // namespace ravelo
