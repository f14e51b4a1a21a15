#include "input/wayland/xkb_layout.h"

#include <algorithm>
#include <cstdlib>

namespace ravelo::wayland {
namespace {

// Keycodes past 255 do not fit the injector's key numbers; no character key lies there.
constexpr xkb_keycode_t kLastKeycode = 255;
// Levels searched: xkb's key types have at most eight.
constexpr xkb_level_index_t kLevels = 8;

const char* OrNull(const std::string& s) { return s.empty() ? nullptr : s.c_str(); }

int Bits(xkb_mod_mask_t m) {
  int n = 0;
  for (; m != 0; m &= m - 1) ++n;
  return n;
}

}  // namespace

std::unique_ptr<XkbLayout> XkbLayout::Create(const LayoutNames& names) {
  std::unique_ptr<XkbLayout> l(new XkbLayout());
  l->context_ = xkb_context_new(XKB_CONTEXT_NO_FLAGS);
  if (l->context_ == nullptr) return nullptr;
  const xkb_rule_names rmlvo = {OrNull(names.rules), OrNull(names.model), OrNull(names.layout),
                                OrNull(names.variant), OrNull(names.options)};
  l->keymap_ = xkb_keymap_new_from_names(l->context_, &rmlvo, XKB_KEYMAP_COMPILE_NO_FLAGS);
  if (l->keymap_ == nullptr) return nullptr;
  l->state_ = xkb_state_new(l->keymap_);
  if (l->state_ == nullptr) return nullptr;
  const xkb_mod_index_t shift = xkb_keymap_mod_get_index(l->keymap_, XKB_MOD_NAME_SHIFT);
  if (shift != XKB_MOD_INVALID) l->shift_mask_ = xkb_mod_mask_t{1} << shift;
  // The third level's modifier is whatever its key sets: pressed once in a state of its own.
  l->level3_key_ = l->FindUnshifted(x11::keysym::kIsoLevel3Shift);
  if (l->level3_key_) {
    xkb_state* scratch = xkb_state_new(l->keymap_);
    if (scratch != nullptr) {
      xkb_state_update_key(scratch, *l->level3_key_, XKB_KEY_DOWN);
      l->level3_mask_ = xkb_state_serialize_mods(scratch, XKB_STATE_MODS_DEPRESSED);
      xkb_state_unref(scratch);
    }
    if (l->level3_mask_ == 0) l->level3_key_.reset();
  }
  return l;
}

XkbLayout::~XkbLayout() {
  xkb_state_unref(state_);
  xkb_keymap_unref(keymap_);
  xkb_context_unref(context_);
}

std::string XkbLayout::KeymapText() const {
  char* text = xkb_keymap_get_as_string(keymap_, XKB_KEYMAP_FORMAT_TEXT_V1);
  if (text == nullptr) return {};
  std::string s(text);
  std::free(text);
  return s;
}

std::optional<x11::KeyPlacement> XkbLayout::Find(uint32_t sym) const {
  if (sym == x11::keysym::kNoSymbol) return std::nullopt;
  const xkb_mod_mask_t usable = shift_mask_ | (level3_key_ ? level3_mask_ : 0);
  const xkb_keycode_t last = std::min(xkb_keymap_max_keycode(keymap_), kLastKeycode);
  for (xkb_level_index_t level = 0; level < kLevels; ++level) {
    for (xkb_keycode_t k = xkb_keymap_min_keycode(keymap_); k <= last; ++k) {
      if (xkb_keymap_num_layouts_for_key(keymap_, k) == 0 || level >= xkb_keymap_num_levels_for_key(keymap_, k, 0))
        continue;
      const xkb_keysym_t* syms = nullptr;
      if (xkb_keymap_key_get_syms_by_level(keymap_, k, 0, level, &syms) != 1 || syms[0] != sym) continue;
      // The fewest modifiers that reach the level, of those this sink can press.
      xkb_mod_mask_t masks[16];
      size_t n = xkb_keymap_key_get_mods_for_level(keymap_, k, 0, level, masks, 16);
      if (n == 0 && level == 0) masks[n++] = 0;
      std::optional<xkb_mod_mask_t> best;
      for (size_t i = 0; i < n; ++i)
        if ((masks[i] & ~usable) == 0 && (!best || Bits(masks[i]) < Bits(*best))) best = masks[i];
      if (!best) continue;
      uint8_t modifiers = 0;
      if (*best & shift_mask_) modifiers |= modifier::kShift;
      if (*best & level3_mask_ & ~shift_mask_) modifiers |= x11::kModifierLevel3;
      return x11::KeyPlacement{static_cast<uint8_t>(k), modifiers};
    }
  }
  return std::nullopt;
}

std::optional<x11::KeyPlacement> XkbLayout::FindCharacter(uint8_t character) const {
  const std::optional<x11::CharacterKeysym> sym = x11::KeysymForCharacter(character);
  if (!sym) return std::nullopt;
  std::optional<x11::KeyPlacement> at = Find(sym->keysym);
  if (at) at->modifiers = static_cast<uint8_t>(at->modifiers | sym->modifiers);
  return at;
}

std::optional<uint8_t> XkbLayout::FindUnshifted(uint32_t sym) const {
  if (sym == x11::keysym::kNoSymbol) return std::nullopt;
  const xkb_keycode_t last = std::min(xkb_keymap_max_keycode(keymap_), kLastKeycode);
  for (xkb_keycode_t k = xkb_keymap_min_keycode(keymap_); k <= last; ++k) {
    const xkb_keysym_t* syms = nullptr;
    if (xkb_keymap_num_layouts_for_key(keymap_, k) > 0 &&
        xkb_keymap_key_get_syms_by_level(keymap_, k, 0, 0, &syms) == 1 && syms[0] == sym)
      return static_cast<uint8_t>(k);
  }
  return std::nullopt;
}

ModifierState XkbLayout::Press(uint8_t keycode, bool down) {
  xkb_state_update_key(state_, keycode, down ? XKB_KEY_DOWN : XKB_KEY_UP);
  return ModifierState{xkb_state_serialize_mods(state_, XKB_STATE_MODS_DEPRESSED),
                       xkb_state_serialize_mods(state_, XKB_STATE_MODS_LATCHED),
                       xkb_state_serialize_mods(state_, XKB_STATE_MODS_LOCKED),
                       xkb_state_serialize_layout(state_, XKB_STATE_LAYOUT_EFFECTIVE)};
}

}  // namespace ravelo::wayland
