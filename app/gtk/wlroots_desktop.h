// The desktop of a wlroots-style Wayland compositor (sway, Hyprland, river, labwc, Wayfire, ...):
// pictures through its screen-copy protocol, input through its virtual pointer and keyboard, all
// over one connection of the program's own. What the program's entry asks for in a Wayland
// session before it falls back to the desktop portal.
#pragma once

#include <memory>
#include <string>

#include "imaging/capture.h"
#include "input/inject.h"
#include "input/wayland/xkb_layout.h"

namespace ravelo {

namespace wayland {
class Connection;
}

class WlrootsDesktop {
 public:
  // Connects to `displayName` (null: $WAYLAND_DISPLAY) and makes the capture, with its first copy
  // asked for, and the virtual devices. Null when no compositor answers or it lacks what is
  // needed; `*why` then says what, briefly ("no screen-copy protocol").
  static std::unique_ptr<WlrootsDesktop> Open(const char* displayName, std::string* why,
                                               const wayland::LayoutNames& layout = {});
  ~WlrootsDesktop();
  WlrootsDesktop(const WlrootsDesktop&) = delete;
  WlrootsDesktop& operator=(const WlrootsDesktop&) = delete;

  // What serves pictures and input, for the log: "wlr-screencopy and virtual pointer and
  // keyboard of the compositor, output HEADLESS-1 (1920x1080)".
  const std::string& Description() const { return description_; }

  // The capture and the input sink, once each; they keep the connection and may outlive this.
  std::unique_ptr<DesktopCapture> TakeCapture() { return std::move(capture_); }
  std::unique_ptr<InputSink> TakeInput() { return std::move(input_); }

  // For the main loop: the connection's socket, to watch for input (and for errors and hang-up),
  // and what to call when it is readable, or now and then, so that frames keep flowing between
  // picture requests. Dispatch never blocks; false once the compositor is gone.
  int Fd() const;
  bool Dispatch();

 private:
  WlrootsDesktop() = default;

  std::shared_ptr<wayland::Connection> connection_;
  std::unique_ptr<DesktopCapture> capture_;
  std::unique_ptr<InputSink> input_;
  std::string description_;
};

}  // namespace ravelo
