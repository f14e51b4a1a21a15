// Key events carry no modifiers of their own on the virtual keyboard: the compositor takes the
// modifier state only from the modifiers request. So the layout's own xkb state follows every
// key, and whatever it makes of Shift, Control, Alt or the third level is sent after the key.
#include "input/wayland/virtual_input_sink.h"

#include <unistd.h>

#include <array>
#include <cerrno>

#include "input/wayland/pointer_events.h"
#include "input/x11/x11_keys.h"
#include "linux/wayland/shm_buffer.h"
#include "linux/wayland/wayland_connection.h"

namespace ravelo::wayland {
namespace {

// xkb numbers keys from evdev's codes on, 8 higher.
constexpr uint32_t kEvdevOffset = 8;

using PointerProxy = Proxy<zwlr_virtual_pointer_v1>;
using KeyboardProxy = Proxy<zwp_virtual_keyboard_v1>;

class VirtualInputSink : public InputSink {
 public:
  VirtualInputSink(std::shared_ptr<Connection> connection, PointerProxy pointer, KeyboardProxy keyboard,
                   std::unique_ptr<XkbLayout> layout)
      : connection_(std::move(connection)),
        pointer_(std::move(pointer)),
        keyboard_(std::move(keyboard)),
        layout_(std::move(layout)) {}
  ~VirtualInputSink() override {
    keyboard_.reset();
    pointer_.reset();
    connection_->Flush();
  }
  VirtualInputSink(const VirtualInputSink&) = delete;
  VirtualInputSink& operator=(const VirtualInputSink&) = delete;

  void SendPointerMove(std::int32_t dx, std::int32_t dy, bool relative) override {
    if (relative) {
      zwlr_virtual_pointer_v1_motion(pointer_.get(), EventTime(), wl_fixed_from_int(dx), wl_fixed_from_int(dy));
    } else {
      // The output's mode as it is now, should it have changed since the last move.
      connection_->Dispatch();
      const OutputInfo& o = connection_->OutputState();
      const std::optional<AbsoluteMotion> m = MotionOnOutput(dx, dy, o.width, o.height);
      if (!m) return;
      zwlr_virtual_pointer_v1_motion_absolute(pointer_.get(), EventTime(), m->x, m->y, m->xExtent, m->yExtent);
    }
    zwlr_virtual_pointer_v1_frame(pointer_.get());
    connection_->Flush();
  }

  void SendPointerButton(std::uint32_t flags) override {
    const std::optional<ButtonPress> b = ButtonForMouseFlags(flags);
    if (!b) return;
    zwlr_virtual_pointer_v1_button(pointer_.get(), EventTime(), b->code,
                                   b->press ? WL_POINTER_BUTTON_STATE_PRESSED : WL_POINTER_BUTTON_STATE_RELEASED);
    zwlr_virtual_pointer_v1_frame(pointer_.get());
    connection_->Flush();
  }

  void SendKeyEvent(std::uint16_t key, bool down) override {
    if (key >= x11::kLayoutKeyBase) {
      const int code = key - x11::kLayoutKeyBase;
      if (code < static_cast<int>(kEvdevOffset) || code > 255) return;
      const auto keycode = static_cast<uint8_t>(code);
      const std::optional<uint8_t> level3Key = layout_->Level3Key();
      const bool level3 = down && level3_[keycode] && level3Key;
      if (level3) Key(*level3Key, true);
      Key(keycode, down);
      if (level3) Key(*level3Key, false);
      return;
    }
    const std::optional<uint8_t> keycode = layout_->FindUnshifted(x11::KeysymForVirtualKey(key));
    if (keycode) Key(*keycode, down);
  }

  std::optional<LayoutKey> ScanCharacter(std::uint8_t character) override {
    const std::optional<x11::KeyPlacement> at = layout_->FindCharacter(character);
    if (!at || at->keycode < kEvdevOffset) return std::nullopt;
    level3_[at->keycode] = (at->modifiers & x11::kModifierLevel3) != 0;
    return LayoutKey{static_cast<std::uint16_t>(x11::kLayoutKeyBase + at->keycode), at->modifiers};
  }

 private:
  void Key(uint8_t keycode, bool down) {
    if (keycode < kEvdevOffset) return;
    zwp_virtual_keyboard_v1_key(keyboard_.get(), EventTime(), keycode - kEvdevOffset,
                                down ? WL_KEYBOARD_KEY_STATE_PRESSED : WL_KEYBOARD_KEY_STATE_RELEASED);
    const ModifierState m = layout_->Press(keycode, down);
    if (m != sent_) {
      zwp_virtual_keyboard_v1_modifiers(keyboard_.get(), m.depressed, m.latched, m.locked, m.group);
      sent_ = m;
    }
    connection_->Flush();
  }

  std::shared_ptr<Connection> connection_;
  PointerProxy pointer_;
  KeyboardProxy keyboard_;
  std::unique_ptr<XkbLayout> layout_;
  ModifierState sent_;
  // Whether the last look-up that found each key needed its third level.
  std::array<bool, 256> level3_{};
};

// Hands the keymap over in a file of its own, with the terminating zero the compositor expects.
bool SendKeymap(zwp_virtual_keyboard_v1* keyboard, const std::string& text) {
  const size_t bytes = text.size() + 1;
  UniqueFd fd = MakeSharedFile("ravelo-keymap", bytes);
  if (fd.Get() < 0) return false;
  size_t done = 0;
  while (done < bytes) {
    const ssize_t n = pwrite(fd.Get(), text.c_str() + done, bytes - done, static_cast<off_t>(done));
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) return false;
    done += static_cast<size_t>(n);
  }
  // The request carries a duplicate of the descriptor; this one closes with its owner.
  zwp_virtual_keyboard_v1_keymap(keyboard, WL_KEYBOARD_KEYMAP_FORMAT_XKB_V1, fd.Get(), static_cast<uint32_t>(bytes));
  return true;
}

}  // namespace

std::unique_ptr<InputSink> MakeVirtualInputSink(const std::shared_ptr<Connection>& connection,
                                                const LayoutNames& names, std::string* why) {
  const auto fail = [why](const char* reason) {
    if (why != nullptr) *why = reason;
    return nullptr;
  };
  if (!connection) return fail("no connection to the compositor");
  if (connection->Seat() == nullptr) return fail("no seat");
  if (connection->VirtualPointers() == nullptr) return fail("no virtual-pointer protocol");
  if (connection->VirtualKeyboards() == nullptr) return fail("no virtual-keyboard protocol");
  std::unique_ptr<XkbLayout> layout = XkbLayout::Create(names);
  if (!layout) return fail("the keyboard layout cannot be built");
  const std::string keymap = layout->KeymapText();
  if (keymap.empty()) return fail("the keyboard layout cannot be built");

  PointerProxy pointer;
  if (connection->VirtualPointersVersion() >= ZWLR_VIRTUAL_POINTER_MANAGER_V1_CREATE_VIRTUAL_POINTER_WITH_OUTPUT_SINCE_VERSION &&
      connection->Output() != nullptr) {
    // Absolute moves then span the captured output alone, not the whole layout of outputs.
    pointer.reset(zwlr_virtual_pointer_manager_v1_create_virtual_pointer_with_output(
        connection->VirtualPointers(), connection->Seat(), connection->Output()));
  } else {
    pointer.reset(zwlr_virtual_pointer_manager_v1_create_virtual_pointer(connection->VirtualPointers(),
                                                                         connection->Seat()));
  }
  KeyboardProxy keyboard(zwp_virtual_keyboard_manager_v1_create_virtual_keyboard(connection->VirtualKeyboards(),
                                                                                  connection->Seat()));
  if (!pointer || !keyboard) return fail("the virtual devices cannot be made");
  // Before any key: a key without a keymap is a protocol error.
  if (!SendKeymap(keyboard.get(), keymap)) return fail("the keymap cannot be handed over");
  // A compositor that refuses the devices says so with an error that ends the connection.
  if (!connection->Roundtrip()) return fail("the compositor refused the virtual devices");
  return std::make_unique<VirtualInputSink>(connection, std::move(pointer), std::move(keyboard), std::move(layout));
}

}  // namespace ravelo::wayland
