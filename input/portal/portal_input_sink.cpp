#include "input/portal/portal_input_sink.h"

#include "input/x11/x11_keys.h"

namespace ravelo::portal {
namespace {

class PortalInputSink : public InputSink {
 public:
  explicit PortalInputSink(std::shared_ptr<RemoteDesktopInput> input) : input_(std::move(input)) {}

  void SendPointerMove(std::int32_t dx, std::int32_t dy, bool relative) override {
    if (relative) {
      input_->PointerMotion(dx, dy);
      return;
    }
    std::uint32_t node = 0;
    double width = 0;
    double height = 0;
    if (!input_->PointerStream(node, width, height)) return;
    // The pixel the X11 sink would pick on a screen of the stream's size.
    input_->PointerMotionAbsolute(node, x11::ScaleToPixels(dx, static_cast<std::int32_t>(width)),
                                  x11::ScaleToPixels(dy, static_cast<std::int32_t>(height)));
  }

  void SendPointerButton(std::uint32_t flags) override {
    if (std::optional<PortalButton> b = PortalButtonFor(flags)) input_->PointerButton(b->code, b->pressed);
  }

  void SendKeyEvent(std::uint16_t key, bool down) override {
    const std::uint32_t sym = PortalKeysym(key);
    if (sym != x11::keysym::kNoSymbol) input_->KeyboardKeysym(static_cast<std::int32_t>(sym), down);
  }

  std::optional<LayoutKey> ScanCharacter(std::uint8_t character) override {
    std::optional<x11::CharacterKeysym> sym = x11::KeysymForCharacter(character);
    if (!sym) return std::nullopt;
    // Only Control for the control characters: the keysym itself says upper case.
    return LayoutKey{static_cast<std::uint16_t>(kCharacterKeyBase + character), sym->modifiers};
  }

 private:
  std::shared_ptr<RemoteDesktopInput> input_;
};

}  // namespace

std::optional<PortalButton> PortalButtonFor(std::uint32_t flags) {
  switch (flags) {
    case mouse::kLeftDown: return PortalButton{evdev::kButtonLeft, true};
    case mouse::kLeftUp: return PortalButton{evdev::kButtonLeft, false};
    case mouse::kRightDown: return PortalButton{evdev::kButtonRight, true};
    case mouse::kRightUp: return PortalButton{evdev::kButtonRight, false};
    case mouse::kMiddleDown: return PortalButton{evdev::kButtonMiddle, true};
    case mouse::kMiddleUp: return PortalButton{evdev::kButtonMiddle, false};
    default: return std::nullopt;
  }
}

std::uint32_t PortalKeysym(std::uint16_t key) {
  if (key < kCharacterKeyBase) return x11::KeysymForVirtualKey(key);
  if (key >= kCharacterKeyBase + 0x100) return x11::keysym::kNoSymbol;
  std::optional<x11::CharacterKeysym> sym = x11::KeysymForCharacter(static_cast<std::uint8_t>(key - kCharacterKeyBase));
  return sym ? sym->keysym : x11::keysym::kNoSymbol;
}

std::unique_ptr<InputSink> MakePortalInputSink(std::shared_ptr<RemoteDesktopInput> input) {
  return std::make_unique<PortalInputSink>(std::move(input));
}

}  // namespace ravelo::portal
