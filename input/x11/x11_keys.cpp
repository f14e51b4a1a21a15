#include "input/x11/x11_keys.h"

#include <algorithm>

namespace ravelo::x11 {
namespace {

struct VirtualKeysym {
  std::uint16_t virtualKey;
  std::uint32_t keysym;
};

constexpr VirtualKeysym kVirtualKeys[] = {
    {0x08, keysym::kBackSpace}, {0x09, keysym::kTab},      {0x0D, keysym::kReturn},
    {0x1B, keysym::kEscape},    {0x21, keysym::kPrior},    {0x22, keysym::kNext},
    {0x23, keysym::kEnd},       {0x24, keysym::kHome},     {0x25, keysym::kLeft},
    {0x26, keysym::kUp},        {0x27, keysym::kRight},    {0x28, keysym::kDown},
    {0x2D, keysym::kInsert},    {0x2E, keysym::kDelete},   {vk::kShift, keysym::kShiftL},
    {vk::kControl, keysym::kControlL}, {vk::kAlt, keysym::kAltL},
};

constexpr std::uint16_t kVkF1 = 0x70;
constexpr std::uint16_t kVkF12 = 0x7B;

// Latin-1 case pairs: a-z, and the accented letters but for the multiplication and
// division signs (which share their rows). ß and ÿ have no Latin-1 upper case.
bool IsLower(std::uint32_t s) { return (s >= 'a' && s <= 'z') || (s >= 0xE0 && s <= 0xFE && s != 0xF7); }
bool IsUpper(std::uint32_t s) { return (s >= 'A' && s <= 'Z') || (s >= 0xC0 && s <= 0xDE && s != 0xD7); }
std::uint32_t ToLower(std::uint32_t s) { return IsUpper(s) ? s + 0x20 : s; }
std::uint32_t ToUpper(std::uint32_t s) { return IsLower(s) ? s - 0x20 : s; }

// The keysyms a key types at levels (column pairs) as the core protocol reads them: a
// pair whose second member is missing types the lower and the upper case of the first.
void Pair(std::uint32_t first, std::uint32_t second, std::uint32_t* out) {
  if (second == keysym::kNoSymbol && (IsLower(first) || IsUpper(first))) {
    out[0] = ToLower(first);
    out[1] = ToUpper(first);
  } else {
    out[0] = first;
    out[1] = second;
  }
}

}  // namespace

std::uint32_t KeysymForVirtualKey(std::uint16_t virtualKey) {
  if (virtualKey >= kVkF1 && virtualKey <= kVkF12) return keysym::kF1 + (virtualKey - kVkF1);
  for (const VirtualKeysym& k : kVirtualKeys)
    if (k.virtualKey == virtualKey) return k.keysym;
  return keysym::kNoSymbol;
}

std::optional<CharacterKeysym> KeysymForCharacter(std::uint8_t c) {
  if ((c >= 0x20 && c <= 0x7E) || c >= 0xA0) return CharacterKeysym{c, 0};
  switch (c) {
    case 0x08: return CharacterKeysym{keysym::kBackSpace, 0};
    case 0x09: return CharacterKeysym{keysym::kTab, 0};
    case 0x0A:  // a line break
    case 0x0D: return CharacterKeysym{keysym::kReturn, 0};
    case 0x1B: return CharacterKeysym{keysym::kEscape, 0};
    default: break;
  }
  // Control-A to Control-Z, as typed with Control on the letter.
  if (c >= 0x01 && c <= 0x1A) return CharacterKeysym{static_cast<std::uint32_t>('a' + c - 1), modifier::kControl};
  return std::nullopt;
}

std::optional<KeyPlacement> FindKeysym(const KeyboardMapping& map, std::uint32_t sym,
                                       bool level3Available) {
  if (sym == keysym::kNoSymbol) return std::nullopt;
  constexpr std::uint8_t kLevelModifiers[4] = {0, modifier::kShift, kModifierLevel3,
                                               modifier::kShift | kModifierLevel3};
  const int per = map.keysymsPerKeycode;
  const int levels = level3Available && per > 4 ? 4 : 2;
  for (int level = 0; level < levels; ++level) {
    for (int k = 0; k < map.Keycodes(); ++k) {
      const std::uint32_t* row = &map.keysyms[static_cast<size_t>(k) * per];
      std::uint32_t cols[6] = {};
      std::copy(row, row + std::min(per, 6), cols);
      std::uint32_t typed[4];
      Pair(cols[0], cols[1], typed);
      Pair(cols[4], cols[5], typed + 2);
      const int keycode = map.minKeycode + k;
      if (typed[level] == sym && keycode <= 255)
        return KeyPlacement{static_cast<std::uint8_t>(keycode), kLevelModifiers[level]};
    }
  }
  return std::nullopt;
}

std::optional<std::uint8_t> FindUnshiftedKeycode(const KeyboardMapping& map, std::uint32_t sym) {
  if (sym == keysym::kNoSymbol || map.keysymsPerKeycode <= 0) return std::nullopt;
  for (int k = 0; k < map.Keycodes(); ++k) {
    const int keycode = map.minKeycode + k;
    if (map.keysyms[static_cast<size_t>(k) * map.keysymsPerKeycode] == sym && keycode <= 255)
      return static_cast<std::uint8_t>(keycode);
  }
  return std::nullopt;
}

std::int32_t ScaleToPixels(std::int32_t value, std::int32_t extent) {
  if (extent <= 0) return 0;
  const std::int64_t v = std::clamp<std::int32_t>(value, 0, 65535);
  return static_cast<std::int32_t>(v * extent / 65536);
}

std::optional<ButtonEvent> ButtonForFlags(std::uint32_t flags) {
  switch (flags) {
    case mouse::kLeftDown: return ButtonEvent{1, true};
    case mouse::kLeftUp: return ButtonEvent{1, false};
    case mouse::kMiddleDown: return ButtonEvent{2, true};
    case mouse::kMiddleUp: return ButtonEvent{2, false};
    case mouse::kRightDown: return ButtonEvent{3, true};
    case mouse::kRightUp: return ButtonEvent{3, false};
    default: return std::nullopt;
  }
}

}  // namespace ravelo::x11
