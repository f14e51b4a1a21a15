// Which desktop service gives the Linux program its pictures and input, chosen once at start:
// the X display in an X11 session; in a Wayland session the compositor's own protocols where it
// offers them (wlroots compositors), else the desktop portal; --backend picks one. Inside a
// Wayland session the X display is never used unless asked for: it would see only XWayland's
// windows.
#pragma once

#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "app/gtk/portal_desktop.h"
#include "app/gtk/wlroots_desktop.h"
#include "imaging/capture.h"
#include "input/inject.h"

namespace ravelo {

enum class Backend { kX11, kWlroots, kPortal };

// "x11", "wlroots" or "portal"; none for anything else.
std::optional<Backend> ParseBackend(const std::string& name);

// The backends to try, in order: the one asked for alone, else what the session suggests.
std::vector<Backend> BackendsToTry(std::optional<Backend> asked, bool waylandSession);

struct ChosenDesktop {
  std::unique_ptr<DesktopCapture> capture;  // null: picture requests go unanswered
  std::unique_ptr<InputSink> input;         // null: input is ignored
  std::unique_ptr<WlrootsDesktop> wlroots;  // its connection, for the main loop to serve
  std::string line;                         // for the log: what serves, and why
};

// Tries the backends in order and takes the first that serves pictures. Needs GTK's main
// context (the portal's session is made on it).
ChosenDesktop ChooseDesktop(std::optional<Backend> asked, bool waylandSession, PortalOptions portal);

}  // namespace ravelo
