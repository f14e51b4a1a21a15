// The virtual keyboard's layout, free of Wayland so that it is tested without a compositor: an
// xkb keymap built from rule names, where it types the keysyms the X11 sink's tables name (with
// the Shift and third-level modifiers, as on X11), and the modifier state its keys make.
#pragma once

#include <xkbcommon/xkbcommon.h>

#include <cstdint>
#include <memory>
#include <optional>
#include <string>

#include "input/x11/x11_keys.h"

namespace ravelo::wayland {

// Rule names; an empty one takes its XKB_DEFAULT_* variable, else xkbcommon's default
// (evdev, pc105, us).
struct LayoutNames {
  std::string rules;
  std::string model;
  std::string layout;
  std::string variant;
  std::string options;
};

// The modifier state as the compositor is told it.
struct ModifierState {
  uint32_t depressed = 0;
  uint32_t latched = 0;
  uint32_t locked = 0;
  uint32_t group = 0;
  bool operator==(const ModifierState& o) const {
    return depressed == o.depressed && latched == o.latched && locked == o.locked && group == o.group;
  }
  bool operator!=(const ModifierState& o) const { return !(*this == o); }
};

class XkbLayout {
 public:
  // Null when xkbcommon cannot build a keymap from the names (an unknown layout, no xkb data).
  static std::unique_ptr<XkbLayout> Create(const LayoutNames& names = {});
  ~XkbLayout();
  XkbLayout(const XkbLayout&) = delete;
  XkbLayout& operator=(const XkbLayout&) = delete;

  // The keymap in xkb's text form, as the compositor loads it.
  std::string KeymapText() const;

  // Where the first layout types `sym`: the lowest level first, then the lowest keycode (xkb
  // numbering: evdev + 8). Only levels reached with Shift and the third-level key count, and the
  // latter only when the layout has such a key. Modifiers are modifier::kShift and
  // x11::kModifierLevel3.
  std::optional<x11::KeyPlacement> Find(uint32_t sym) const;
  // The key of a character of the 8-bit set, as the X11 sink types it: its keysym found with
  // Find, Control added for the control characters of the letters; none when the layout lacks it.
  std::optional<x11::KeyPlacement> FindCharacter(uint8_t character) const;
  // A keycode that types `sym` at the first level, for the function and modifier keys.
  std::optional<uint8_t> FindUnshifted(uint32_t sym) const;
  // The key that selects the third level (ISO_Level3_Shift, AltGr on many layouts).
  std::optional<uint8_t> Level3Key() const { return level3_key_; }

  // Presses or lets go of `keycode` in the layout's own state; the modifier state after it.
  ModifierState Press(uint8_t keycode, bool down);

 private:
  XkbLayout() = default;

  xkb_context* context_ = nullptr;
  xkb_keymap* keymap_ = nullptr;
  xkb_state* state_ = nullptr;
  std::optional<uint8_t> level3_key_;
  xkb_mod_mask_t shift_mask_ = 0;
  xkb_mod_mask_t level3_mask_ = 0;
};

}  // namespace ravelo::wayland
