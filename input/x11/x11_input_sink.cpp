// XTest over XCB: XCB reports a failed request as a value rather than through a
// process-wide error handler, so the sink can live beside a toolkit's own connection.
#include "input/x11/x11_input_sink.h"

#include <xcb/xcb.h>
#include <xcb/xtest.h>

#include <array>
#include <cstdlib>

#include "linux/x11/xcb_connection.h"
#include "input/x11/x11_keys.h"

namespace ravelo {
namespace {

using x11::KeyboardMapping;
using x11::Reply;

class X11InputSink : public InputSink {
 public:
  X11InputSink(xcb_connection_t* connection, xcb_window_t root)
      : connection_(connection), root_(root) {
    // Which keys repeat by the user's settings, to be put back after each key we hold.
    Reply<xcb_get_keyboard_control_reply_t> control(
        xcb_get_keyboard_control_reply(connection_, xcb_get_keyboard_control(connection_), nullptr));
    for (int k = 0; k < 256; ++k) repeats_[k] = !control || ((control->auto_repeats[k / 8] >> (k % 8)) & 1) != 0;
  }
  ~X11InputSink() override {
    for (int k = 0; k < 256; ++k) {
      if (repeat_off_[k]) SetRepeat(static_cast<std::uint8_t>(k), true);
    }
    xcb_flush(connection_);
    xcb_disconnect(connection_);
  }
  X11InputSink(const X11InputSink&) = delete;
  X11InputSink& operator=(const X11InputSink&) = delete;

  void SendPointerMove(std::int32_t dx, std::int32_t dy, bool relative) override {
    if (relative) {
      Fake(XCB_MOTION_NOTIFY, 1, XCB_NONE, Clamp16(dx), Clamp16(dy));
      return;
    }
    // Read afresh, so that a screen resized since the last move maps right.
    Reply<xcb_get_geometry_reply_t> root(
        xcb_get_geometry_reply(connection_, xcb_get_geometry(connection_, root_), nullptr));
    if (!root) return;
    Fake(XCB_MOTION_NOTIFY, 0, root_, Clamp16(x11::ScaleToPixels(dx, root->width)),
         Clamp16(x11::ScaleToPixels(dy, root->height)));
  }

  void SendPointerButton(std::uint32_t flags) override {
    std::optional<x11::ButtonEvent> b = x11::ButtonForFlags(flags);
    if (b) Fake(b->press ? XCB_BUTTON_PRESS : XCB_BUTTON_RELEASE, b->button, XCB_NONE, 0, 0);
  }

  void SendKeyEvent(std::uint16_t key, bool down) override {
    if (key >= x11::kLayoutKeyBase) {
      const int keycode = key - x11::kLayoutKeyBase;
      if (keycode < min_keycode_ || keycode > max_keycode_) return;
      const auto code = static_cast<std::uint8_t>(keycode);
      const bool level3 = down && level3_[code] && level3_keycode_ != 0;
      if (level3) Key(level3_keycode_, true);
      Key(code, down);
      if (level3) Key(level3_keycode_, false);
      return;
    }
    const std::uint32_t sym = x11::KeysymForVirtualKey(key);
    if (sym == x11::keysym::kNoSymbol) return;
    // A key-up lets go of the keycode its key-down pressed, whatever the map says by now.
    std::uint8_t& pressed = virtual_keycodes_[key & 0xFF];
    if (!down && pressed != 0) {
      Key(pressed, false);
      pressed = 0;
      return;
    }
    const KeyboardMapping* map = Mapping();
    if (map == nullptr) return;
    std::optional<std::uint8_t> code = x11::FindUnshiftedKeycode(*map, sym);
    if (!code) return;
    Key(*code, down);
    if (down) pressed = *code;
  }

  std::optional<LayoutKey> ScanCharacter(std::uint8_t character) override {
    std::optional<x11::CharacterKeysym> sym = x11::KeysymForCharacter(character);
    if (!sym) return std::nullopt;
    const KeyboardMapping* map = Mapping();
    if (map == nullptr) return std::nullopt;
    std::optional<std::uint8_t> level3 = x11::FindUnshiftedKeycode(*map, x11::keysym::kIsoLevel3Shift);
    level3_keycode_ = level3 ? *level3 : 0;
    std::optional<x11::KeyPlacement> at = x11::FindKeysym(*map, sym->keysym, level3.has_value());
    if (!at) return std::nullopt;
    level3_[at->keycode] = (at->modifiers & x11::kModifierLevel3) != 0;
    return LayoutKey{static_cast<std::uint16_t>(x11::kLayoutKeyBase + at->keycode),
                     static_cast<std::uint8_t>(at->modifiers | sym->modifiers)};
  }

  // The server's keyboard map, read once and again only after the server said it changed
  // (the user may switch layouts while a client types); null when it cannot be read.
  const KeyboardMapping* Mapping() {
    // Every client hears of a changed map; the notice waits in the connection's queue.
    while (xcb_generic_event_t* event = xcb_poll_for_event(connection_)) {
      if ((event->response_type & 0x7F) == XCB_MAPPING_NOTIFY &&
          reinterpret_cast<xcb_mapping_notify_event_t*>(event)->request == XCB_MAPPING_KEYBOARD) {
        mapping_read_ = false;
      }
      std::free(event);
    }
    if (!mapping_read_) mapping_read_ = ReadMapping(&mapping_);
    return mapping_read_ ? &mapping_ : nullptr;
  }

  bool ReadMapping(KeyboardMapping* map) {
    const xcb_setup_t* setup = xcb_get_setup(connection_);
    min_keycode_ = setup->min_keycode;
    max_keycode_ = setup->max_keycode;
    const auto count = static_cast<std::uint8_t>(max_keycode_ - min_keycode_ + 1);
    Reply<xcb_get_keyboard_mapping_reply_t> reply(xcb_get_keyboard_mapping_reply(
        connection_, xcb_get_keyboard_mapping(connection_, setup->min_keycode, count), nullptr));
    if (!reply) return false;
    const xcb_keysym_t* syms = xcb_get_keyboard_mapping_keysyms(reply.get());
    const int n = xcb_get_keyboard_mapping_keysyms_length(reply.get());
    map->minKeycode = setup->min_keycode;
    map->keysymsPerKeycode = reply->keysyms_per_keycode;
    map->keysyms.assign(syms, syms + n);
    return true;
  }

 private:
  static std::int16_t Clamp16(std::int32_t v) {
    return static_cast<std::int16_t>(v < -32768 ? -32768 : v > 32767 ? 32767 : v);
  }

  // The X server repeats a key held through XTest, as it would a real one; the client
  // repeats keys itself, and a lost key-up would type on until the session ends. So a key
  // this program holds does not repeat until it is let go.
  void Key(std::uint8_t keycode, bool down) {
    if (down && repeats_[keycode] && !repeat_off_[keycode]) {
      SetRepeat(keycode, false);
      repeat_off_[keycode] = true;
    }
    Fake(down ? XCB_KEY_PRESS : XCB_KEY_RELEASE, keycode, XCB_NONE, 0, 0);
    if (!down && repeat_off_[keycode]) {
      SetRepeat(keycode, true);
      repeat_off_[keycode] = false;
      xcb_flush(connection_);
    }
  }

  void SetRepeat(std::uint8_t keycode, bool on) {
    const std::uint32_t values[] = {keycode, on ? XCB_AUTO_REPEAT_MODE_ON : XCB_AUTO_REPEAT_MODE_OFF};
    xcb_change_keyboard_control(connection_, XCB_KB_KEY | XCB_KB_AUTO_REPEAT_MODE, values);
  }

  // One event, sent at once: the session sees each message when it arrives.
  void Fake(std::uint8_t type, std::uint8_t detail, xcb_window_t root, std::int16_t x, std::int16_t y) {
    xcb_test_fake_input(connection_, type, detail, XCB_CURRENT_TIME, root, x, y, 0);
    xcb_flush(connection_);
  }

  xcb_connection_t* connection_;
  xcb_window_t root_;
  int min_keycode_ = 8;
  int max_keycode_ = 255;
  std::uint8_t level3_keycode_ = 0;
  // Whether the last look-up that found each key needed its third level.
  std::array<bool, 256> level3_{};
  std::array<std::uint8_t, 256> virtual_keycodes_{};  // pressed for each virtual key held
  std::array<bool, 256> repeats_{};     // the user's repeat setting of each keycode
  std::array<bool, 256> repeat_off_{};   // repeat switched off by a key held here
  KeyboardMapping mapping_;
  bool mapping_read_ = false;
};

}  // namespace

std::unique_ptr<InputSink> MakeX11InputSink(const char* displayName) {
  xcb_screen_t* screen = nullptr;
  xcb_connection_t* connection = x11::ConnectToScreen(displayName, &screen);
  if (connection == nullptr) return nullptr;
  // A request of an absent extension would close the connection: ask first.
  const xcb_query_extension_reply_t* xtest = xcb_get_extension_data(connection, &xcb_test_id);
  Reply<xcb_test_get_version_reply_t> version;
  if (xtest != nullptr && xtest->present)
    version.reset(xcb_test_get_version_reply(connection, xcb_test_get_version(connection, 2, 2), nullptr));
  if (!version) {
    xcb_disconnect(connection);
    return nullptr;
  }
  auto sink = std::make_unique<X11InputSink>(connection, screen->root);
  sink->Mapping();  // learns the keycode range
  return sink;
}

}  // namespace ravelo
