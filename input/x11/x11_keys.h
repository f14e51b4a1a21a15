// The arithmetic and tables of the X11 input sink, free of X headers so that they are
// tested without a display: keysyms for the key table's virtual keys and for characters,
// where a keysym sits in a keyboard mapping, pointer scaling and button numbers.
#pragma once

#include <cstdint>
#include <optional>
#include <vector>

#include "input/inject.h"

namespace ravelo::x11 {

// Keysym values as the X protocol numbers them; Latin-1 characters are their own keysyms.
namespace keysym {
constexpr std::uint32_t kNoSymbol = 0;
constexpr std::uint32_t kBackSpace = 0xFF08;
constexpr std::uint32_t kTab = 0xFF09;
constexpr std::uint32_t kReturn = 0xFF0D;
constexpr std::uint32_t kEscape = 0xFF1B;
constexpr std::uint32_t kHome = 0xFF50;
constexpr std::uint32_t kLeft = 0xFF51;
constexpr std::uint32_t kUp = 0xFF52;
constexpr std::uint32_t kRight = 0xFF53;
constexpr std::uint32_t kDown = 0xFF54;
constexpr std::uint32_t kPrior = 0xFF55;
constexpr std::uint32_t kNext = 0xFF56;
constexpr std::uint32_t kEnd = 0xFF57;
constexpr std::uint32_t kInsert = 0xFF63;
constexpr std::uint32_t kF1 = 0xFFBE;
constexpr std::uint32_t kF12 = 0xFFC9;
constexpr std::uint32_t kShiftL = 0xFFE1;
constexpr std::uint32_t kControlL = 0xFFE3;
constexpr std::uint32_t kAltL = 0xFFE9;
constexpr std::uint32_t kDelete = 0xFFFF;
constexpr std::uint32_t kIsoLevel3Shift = 0xFE03;
}  // namespace keysym

// The third level of a key (AltGr on many layouts). The portable injector presses only
// the modifiers it knows; this one the X11 sink presses itself around the key-down.
constexpr std::uint8_t kModifierLevel3 = 0x80;

// Layout keys are numbered 0x100 + keycode, so that all 248 keycodes stay below the
// injector's tracking limit.
constexpr std::uint16_t kLayoutKeyBase = 0x100;

// The keysym of a virtual key of the key table or a vk:: modifier; none for others.
std::uint32_t KeysymForVirtualKey(std::uint16_t virtualKey);

// The keysym a character of the 8-bit set is typed as, with the modifiers it needs beyond
// the layout's (Control for the control characters of the letters).
struct CharacterKeysym {
  std::uint32_t keysym = keysym::kNoSymbol;
  std::uint8_t modifiers = 0;
};
std::optional<CharacterKeysym> KeysymForCharacter(std::uint8_t character);

// The server's keyboard mapping in its core form: for each keycode from minKeycode on,
// keysymsPerKeycode keysyms. Columns 0 and 1 are the first group's levels 1 and 2,
// 2 and 3 the second group's, 4 and 5 the first group's levels 3 and 4.
struct KeyboardMapping {
  std::uint8_t minKeycode = 8;
  int keysymsPerKeycode = 0;
  std::vector<std::uint32_t> keysyms;
  int Keycodes() const { return keysymsPerKeycode > 0 ? static_cast<int>(keysyms.size()) / keysymsPerKeycode : 0; }
};

struct KeyPlacement {
  std::uint8_t keycode = 0;
  std::uint8_t modifiers = 0;  // modifier::kShift and kModifierLevel3
};

// Where the first group types `sym`: the lowest level first, then the lowest keycode. A key
// that lists one cased letter types its lower case alone and its upper case with Shift.
// Third-level placements count only when `level3Available`.
std::optional<KeyPlacement> FindKeysym(const KeyboardMapping& map, std::uint32_t sym,
                                       bool level3Available);

// A keycode that types `sym` unshifted (column 0), for the function and modifier keys.
std::optional<std::uint8_t> FindUnshiftedKeycode(const KeyboardMapping& map, std::uint32_t sym);

// An absolute pointer value (0..65535 over the screen) as a pixel of a screen `extent`
// pixels wide, as the platform maps its absolute scale: 65535 lands on the last pixel.
std::int32_t ScaleToPixels(std::int32_t value, std::int32_t extent);

// The X button and direction of one mouse:: button flag; none for any other value.
struct ButtonEvent {
  std::uint8_t button = 0;  // 1 left, 2 middle, 3 right
  bool press = false;
};
std::optional<ButtonEvent> ButtonForFlags(std::uint32_t flags);

}  // namespace ravelo::x11
