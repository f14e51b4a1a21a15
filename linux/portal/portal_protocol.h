// The desktop portal's names and numbers, and what this program makes of its answers, free
// of a bus so that it is tested from tables: which session to ask for, where the restore
// token goes, the request paths, the results of Start, and the log line about the choice.
#pragma once

#include <glib.h>

#include <cstdint>
#include <optional>
#include <string>

namespace ravelo::portal {

inline constexpr char kPortalName[] = "org.freedesktop.portal.Desktop";
inline constexpr char kPortalPath[] = "/org/freedesktop/portal/desktop";
inline constexpr char kScreenCast[] = "org.freedesktop.portal.ScreenCast";
inline constexpr char kRemoteDesktop[] = "org.freedesktop.portal.RemoteDesktop";
inline constexpr char kRequest[] = "org.freedesktop.portal.Request";
inline constexpr char kSession[] = "org.freedesktop.portal.Session";
// The implementations register under this prefix (…desktop.gnome, …desktop.kde, …desktop.wlr).
inline constexpr char kBackendPrefix[] = "org.freedesktop.impl.portal.desktop.";

namespace source {
constexpr std::uint32_t kMonitor = 1;
}
namespace cursor {
constexpr std::uint32_t kHidden = 1;
constexpr std::uint32_t kEmbedded = 2;
constexpr std::uint32_t kMetadata = 4;
}  // namespace cursor
namespace device {
constexpr std::uint32_t kKeyboard = 1;
constexpr std::uint32_t kPointer = 2;
}  // namespace device
constexpr std::uint32_t kPersistUntilRevoked = 2;

// Request responses: 0 granted, 1 the user cancelled, 2 ended otherwise.
constexpr std::uint32_t kResponseCancelled = 1;

// What the session bus offers, read once at start.
struct PortalOffer {
  bool bus = false;     // a session bus answered
  bool portal = false;  // the portal answered
  std::uint32_t screenCastVersion = 0;  // 0: no ScreenCast interface
  std::uint32_t sourceTypes = 0;
  std::uint32_t cursorModes = 0;
  std::uint32_t remoteDesktopVersion = 0;  // 0: no RemoteDesktop interface
  std::uint32_t deviceTypes = 0;
  std::string backend;  // the implementations seen on the bus, for the log
  std::string problem;  // why there is no bus or portal
};

// Where persist_mode and the restore token go. A remote-desktop session persists through
// SelectDevices from RemoteDesktop version 2 on and never through SelectSources; a plain
// screen cast through SelectSources from ScreenCast version 4 on.
enum class Persist : std::uint8_t { kNone, kDevices, kSources };

struct SessionPlan {
  bool remoteDesktop = false;  // RemoteDesktop with the screen cast attached
  std::uint32_t devices = 0;
  std::uint32_t cursorMode = 0;  // 0: not asked for (a portal older than version 2)
  Persist persist = Persist::kNone;
};

// Whether the portal can give pictures of a monitor at all.
bool CanCapture(const PortalOffer& offer);
SessionPlan PlanSession(const PortalOffer& offer);

// The one line saying what serves pictures and input and why, without the program's name.
std::string DescribeChoice(const PortalOffer& offer);

// The object path a request made with `token` answers on, for the caller's unique name.
std::string RequestPath(const std::string& uniqueName, const std::string& token);

// The session handle of CreateSession's results (an object path, or a string from older
// portals); empty when missing.
std::string SessionHandleFrom(GVariant* results);

struct StartResults {
  bool hasStream = false;
  std::uint32_t node = 0;
  std::int32_t width = 0;  // the compositor's size of the stream; 0 when not told
  std::int32_t height = 0;
  std::uint32_t devices = 0;
  std::string restoreToken;
};

// Reads Start's results (a{sv}): the first stream, the devices granted, the restore token.
StartResults ParseStartResults(GVariant* results);

}  // namespace ravelo::portal
