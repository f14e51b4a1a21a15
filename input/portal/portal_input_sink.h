// The input sink of a desktop portal's remote-desktop session: pointer moves in the screen
// cast's coordinates, evdev buttons, and keys as keysyms, so that the compositor picks the
// key and level of its own layout (Shift for 'H' included) rather than this program.
#pragma once

#include <cstdint>
#include <memory>
#include <optional>

#include "input/inject.h"
#include "linux/portal/remote_desktop_input.h"

namespace ravelo::portal {

// Linux input event codes of the buttons.
namespace evdev {
constexpr std::int32_t kButtonLeft = 0x110;
constexpr std::int32_t kButtonRight = 0x111;
constexpr std::int32_t kButtonMiddle = 0x112;
}  // namespace evdev

struct PortalButton {
  std::int32_t code = 0;
  bool pressed = false;
};
// The evdev button and state of one mouse:: button flag; none for any other value.
std::optional<PortalButton> PortalButtonFor(std::uint32_t flags);

// Characters are numbered from here as keys, so that the injector tracks them as held.
constexpr std::uint16_t kCharacterKeyBase = 0x100;

// The keysym a key of this sink stands for: a character key's or a virtual key's; 0 for
// none.
std::uint32_t PortalKeysym(std::uint16_t key);

std::unique_ptr<InputSink> MakePortalInputSink(std::shared_ptr<RemoteDesktopInput> input);

}  // namespace ravelo::portal
