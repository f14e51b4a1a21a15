#include "app/gtk/portal_desktop.h"

#include <gio/gio.h>
#include <unistd.h>

#include <cstdio>
#include <cstring>
#include <vector>

#include "imaging/portal/frame_capture.h"
#include "imaging/portal/pipewire_stream.h"
#include "input/portal/portal_input_sink.h"
#include "linux/portal/glib_owner.h"
#include "linux/portal/portal_session.h"

namespace ravelo {
namespace {

using portal::Error;
using portal::Object;
using portal::PortalOffer;
using portal::Variant;

// A probe waits this long for each answer; a portal started by the bus answers in well
// under a second.
constexpr int kProbeTimeoutMs = 5000;

// An interface's properties; null when the portal lacks the interface.
Variant Properties(GDBusConnection* bus, const char* interface, Error* error) {
  GError* e = nullptr;
  Variant reply(g_dbus_connection_call_sync(bus, portal::kPortalName, portal::kPortalPath,
                                            "org.freedesktop.DBus.Properties", "GetAll",
                                            g_variant_new("(s)", interface), G_VARIANT_TYPE("(a{sv})"),
                                            G_DBUS_CALL_FLAGS_NONE, kProbeTimeoutMs, nullptr, &e));
  error->reset(e);
  if (!reply) return nullptr;
  GVariant* properties = nullptr;
  g_variant_get(reply.get(), "(@a{sv})", &properties);
  return Variant(properties);
}

std::uint32_t Uint(GVariant* properties, const char* name) {
  guint32 value = 0;
  return properties != nullptr && g_variant_lookup(properties, name, "u", &value) ? value : 0;
}

// The portal implementations on the bus, as their packages are named.
std::string Backends(GDBusConnection* bus) {
  Variant reply(g_dbus_connection_call_sync(bus, "org.freedesktop.DBus", "/org/freedesktop/DBus",
                                            "org.freedesktop.DBus", "ListNames", nullptr, G_VARIANT_TYPE("(as)"),
                                            G_DBUS_CALL_FLAGS_NONE, kProbeTimeoutMs, nullptr, nullptr));
  if (!reply) return std::string();
  std::string names;
  GVariantIter* iter = nullptr;
  const char* name = nullptr;
  g_variant_get(reply.get(), "(as)", &iter);
  const std::size_t prefix = std::strlen(portal::kBackendPrefix);
  while (g_variant_iter_next(iter, "&s", &name)) {
    if (std::strncmp(name, portal::kBackendPrefix, prefix) != 0) continue;
    if (!names.empty()) names += ", ";
    names += std::string("xdg-desktop-portal-") + (name + prefix);
  }
  g_variant_iter_free(iter);
  return names;
}

// The capture's side of the session: a stream while the session is up, and the newest frame
// of it.
class PortalCapture : public DesktopCapture, public portal::FrameSource {
 public:
  explicit PortalCapture(std::shared_ptr<portal::PortalSession> session) : session_(std::move(session)) {
    session_->OnStream(
        [this](int fd, std::uint32_t node, bool cursorMetadata) {
          stream_ = portal::ConnectPipeWireStream(portal::StreamTarget{fd, node, cursorMetadata});
          if (!stream_) {
            session_->Renew("PipeWire could not be set up");
            return;
          }
          stream_->OnLost([this](const char* why) { session_->Renew(why); });
          frames_ = std::make_unique<portal::FrameCapture>(*this);
        },
        [this] {
          frames_.reset();
          stream_.reset();
        });
  }
  ~PortalCapture() override { session_->OnStream(nullptr, nullptr); }
  PortalCapture(const PortalCapture&) = delete;
  PortalCapture& operator=(const PortalCapture&) = delete;

  bool DesktopSize(std::uint16_t& width, std::uint16_t& height) override {
    if (!frames_) {
      session_->Wake();
      return false;
    }
    if (!frames_->DesktopSize(width, height)) return false;
    session_->NoteFrameSize(width, height);
    return true;
  }

  bool CaptureDesktop(bool full, std::uint16_t x, std::uint16_t y) override {
    if (!frames_) {
      session_->Wake();
      return false;
    }
    return frames_->CaptureDesktop(full, x, y);
  }

  const portal::FrameView* NewestFrame(int waitMs) override {
    const portal::FrameView* frame = stream_ ? stream_->NewestFrame(waitMs) : nullptr;
    if (frame != nullptr) session_->NoteFrameSize(frame->width, frame->height);
    return frame;
  }

  view::CursorPicture Cursor() override { return stream_ ? stream_->Cursor() : view::CursorPicture{}; }

 private:
  std::shared_ptr<portal::PortalSession> session_;
  std::unique_ptr<portal::PipeWireStream> stream_;
  std::unique_ptr<portal::FrameCapture> frames_;
};

}  // namespace

PortalOffer ProbeDesktopPortal() {
  PortalOffer offer;
  GError* e = nullptr;
  Object<GDBusConnection> bus(g_bus_get_sync(G_BUS_TYPE_SESSION, nullptr, &e));
  Error busError(e);
  if (!bus) {
    offer.problem = busError ? busError->message : "no address";
    return offer;
  }
  offer.bus = true;
  Error error;
  Variant screenCast = Properties(bus.get(), portal::kScreenCast, &error);
  if (!screenCast && error &&
      (g_error_matches(error.get(), G_DBUS_ERROR, G_DBUS_ERROR_SERVICE_UNKNOWN) ||
       g_error_matches(error.get(), G_DBUS_ERROR, G_DBUS_ERROR_NAME_HAS_NO_OWNER) ||
       g_error_matches(error.get(), G_DBUS_ERROR, G_DBUS_ERROR_SPAWN_SERVICE_NOT_FOUND) ||
       g_error_matches(error.get(), G_IO_ERROR, G_IO_ERROR_TIMED_OUT) ||
       g_error_matches(error.get(), G_DBUS_ERROR, G_DBUS_ERROR_NO_REPLY) ||
       g_error_matches(error.get(), G_DBUS_ERROR, G_DBUS_ERROR_TIMEOUT))) {
    offer.problem = error->message;
    return offer;
  }
  offer.portal = true;
  offer.screenCastVersion = Uint(screenCast.get(), "version");
  offer.sourceTypes = Uint(screenCast.get(), "AvailableSourceTypes");
  offer.cursorModes = Uint(screenCast.get(), "AvailableCursorModes");
  Variant remoteDesktop = Properties(bus.get(), portal::kRemoteDesktop, &error);
  offer.remoteDesktopVersion = Uint(remoteDesktop.get(), "version");
  offer.deviceTypes = Uint(remoteDesktop.get(), "AvailableDeviceTypes");
  offer.backend = Backends(bus.get());
  return offer;
}

PortalDesktop MakePortalDesktop(const PortalOffer& offer, PortalOptions options) {
  PortalDesktop desktop;
  if (!portal::CanCapture(offer)) return desktop;
  Object<GDBusConnection> bus(g_bus_get_sync(G_BUS_TYPE_SESSION, nullptr, nullptr));
  if (!bus) return desktop;
  portal::SessionOptions sessionOptions;
  sessionOptions.restoreToken = std::move(options.restoreToken);
  sessionOptions.saveRestoreToken = std::move(options.saveRestoreToken);
  sessionOptions.log = options.log ? std::move(options.log)
                                   : [](const std::string& line) { std::fprintf(stderr, "ravelo: %s\n", line.c_str()); };
  auto session = std::make_shared<portal::PortalSession>(bus.get(), offer, std::move(sessionOptions));
  desktop.capture = std::make_unique<PortalCapture>(session);
  if (portal::PlanSession(offer).remoteDesktop) desktop.input = portal::MakePortalInputSink(session);
  session->Begin();
  return desktop;
}

}  // namespace ravelo
