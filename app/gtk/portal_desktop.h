// The desktop portal as the Linux program's desktop: one factory for the capture and the
// input sink, which share one portal session for the program's life.
#pragma once

#include <functional>
#include <memory>
#include <string>

#include "imaging/capture.h"
#include "input/inject.h"
#include "linux/portal/portal_protocol.h"

namespace ravelo {

// What the session bus offers, asked once and briefly (no dialog is involved); the portal
// is started by the bus if it is not running yet.
portal::PortalOffer ProbeDesktopPortal();

struct PortalOptions {
  std::string restoreToken;                                   // from the last run; may be empty
  std::function<void(const std::string&)> saveRestoreToken;  // each new token, at once
  std::function<void(const std::string&)> log;               // one line each; stderr when unset
};

struct PortalDesktop {
  std::unique_ptr<DesktopCapture> capture;  // null when the portal cannot capture a monitor
  std::unique_ptr<InputSink> input;         // null without RemoteDesktop
};

// Asks the portal for its session at once and returns without waiting for it: until the
// user has answered the desktop's dialog (or a stored permission is restored) pictures and
// input are simply unavailable. Needs the GLib main context to be run.
PortalDesktop MakePortalDesktop(const portal::PortalOffer& offer, PortalOptions options);

}  // namespace ravelo
