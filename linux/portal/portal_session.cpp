#include "linux/portal/portal_session.h"

#include <gio/gunixfdlist.h>
#include <unistd.h>

#include <algorithm>
#include <utility>

#include "linux/portal/glib_owner.h"

namespace ravelo::portal {
namespace {

const char* MethodOf(int step) {
  static const char* const kMethods[] = {"CreateSession", "SelectDevices", "SelectSources", "Start"};
  return kMethods[step];
}

// A session that stayed up this long was a working one: its end starts the waits afresh.
constexpr std::chrono::seconds kLastedLong{60};
constexpr std::chrono::seconds kLongestWait{60};

}  // namespace

// What an asynchronous reply needs to find its session, if that still exists and is still
// at the same attempt.
struct PortalSession::Call {
  std::weak_ptr<int> life;
  PortalSession* owner;
  std::uint64_t attempt;
  Step step;

  PortalSession* Live() const { return !life.expired() && owner->attempt_ == attempt ? owner : nullptr; }
};

// A request whose Response signal is awaited.
struct PortalSession::Pending {
  PortalSession* owner;
  Step step;
  std::string path;
  guint subscription = 0;
};

PortalSession::PortalSession(GDBusConnection* bus, const PortalOffer& offer, SessionOptions options)
    : bus_(G_DBUS_CONNECTION(g_object_ref(bus))), offer_(offer), plan_(PlanSession(offer)), options_(std::move(options)) {}

PortalSession::~PortalSession() {
  if (retry_ != 0) g_source_remove(retry_);
  if (renew_ != 0) g_source_remove(renew_);
  gone_ = nullptr;  // the stream's owner may be going too
  Teardown(true);
  life_.reset();
  g_object_unref(bus_);
}

void PortalSession::OnStream(StreamReady ready, StreamGone gone) {
  ready_ = std::move(ready);
  gone_ = std::move(gone);
}

void PortalSession::Log(const std::string& line) {
  if (options_.log) options_.log(line);
}

std::string PortalSession::Token() { return "ravelo" + std::to_string(++tokens_); }

void PortalSession::Begin() {
  if (retry_ != 0) g_source_remove(retry_);
  retry_ = 0;
  Teardown(true);
  refused_ = false;
  cancellable_ = g_cancellable_new();
  const std::string token = Token();
  GVariantBuilder b;
  g_variant_builder_init(&b, G_VARIANT_TYPE_VARDICT);
  g_variant_builder_add(&b, "{sv}", "handle_token", g_variant_new_string(token.c_str()));
  g_variant_builder_add(&b, "{sv}", "session_handle_token", g_variant_new_string(Token().c_str()));
  Request(Step::kCreate, plan_.remoteDesktop ? kRemoteDesktop : kScreenCast, "CreateSession",
          g_variant_new("(@a{sv})", g_variant_builder_end(&b)), token);
}

void PortalSession::Request(Step step, const char* interface, const char* method, GVariant* arguments,
                            const std::string& token) {
  // Subscribed before the call, so that a response sent at once is not missed.
  auto pending = std::make_unique<Pending>(Pending{this, step, RequestPath(g_dbus_connection_get_unique_name(bus_), token)});
  Subscribe(pending.get());
  pending_.push_back(std::move(pending));
  g_dbus_connection_call(
      bus_, kPortalName, kPortalPath, interface, method, arguments, G_VARIANT_TYPE("(o)"), G_DBUS_CALL_FLAGS_NONE, -1,
      cancellable_,
      [](GObject* source, GAsyncResult* result, gpointer data) {
        std::unique_ptr<Call> call(static_cast<Call*>(data));
        GError* error = nullptr;
        Variant reply(g_dbus_connection_call_finish(G_DBUS_CONNECTION(source), result, &error));
        Error owned(error);
        PortalSession* self = call->Live();
        if (self == nullptr) return;
        if (!reply) {
          self->CallFailed(call->step, error);
          return;
        }
        const char* handle = nullptr;
        g_variant_get(reply.get(), "(&o)", &handle);
        // A portal that ignores the token answers elsewhere: listen there instead.
        for (auto& p : self->pending_) {
          if (p->step != call->step || p->path == handle) continue;
          g_dbus_connection_signal_unsubscribe(self->bus_, p->subscription);
          p->path = handle;
          self->Subscribe(p.get());
        }
      },
      new Call{life_, this, attempt_, step});
}

void PortalSession::Subscribe(Pending* pending) {
  pending->subscription = g_dbus_connection_signal_subscribe(
      bus_, kPortalName, kRequest, "Response", pending->path.c_str(), nullptr, G_DBUS_SIGNAL_FLAGS_NONE,
      [](GDBusConnection*, const gchar*, const gchar*, const gchar*, const gchar*, GVariant* parameters, gpointer data) {
        auto* p = static_cast<Pending*>(data);
        if (!g_variant_is_of_type(parameters, G_VARIANT_TYPE("(ua{sv})"))) return;
        guint32 response = 0;
        GVariant* results = nullptr;
        g_variant_get(parameters, "(u@a{sv})", &response, &results);
        Variant owned(results);
        p->owner->Responded(p, response, results);
      },
      pending, nullptr);
}

void PortalSession::Responded(Pending* pending, std::uint32_t response, GVariant* results) {
  const Step step = pending->step;
  g_dbus_connection_signal_unsubscribe(bus_, pending->subscription);
  pending_.erase(std::remove_if(pending_.begin(), pending_.end(), [pending](const auto& p) { return p.get() == pending; }),
                 pending_.end());
  if (response == 0) {
    Next(step, results);
  } else if (response == kResponseCancelled) {
    Fail("the desktop's sharing dialog was declined; it is shown again when a client asks for a picture", false);
  } else {
    Fail(std::string("the desktop portal ended its ") + MethodOf(static_cast<int>(step)) + " request", true);
  }
}

void PortalSession::CallFailed(Step step, const GError* error) {
  Fail(std::string("the desktop portal refused ") + MethodOf(static_cast<int>(step)) + ": " +
           (error != nullptr ? error->message : "no reason given"),
       true);
}

void PortalSession::Next(Step step, GVariant* results) {
  const std::string token = Token();
  GVariantBuilder b;
  g_variant_builder_init(&b, G_VARIANT_TYPE_VARDICT);
  g_variant_builder_add(&b, "{sv}", "handle_token", g_variant_new_string(token.c_str()));
  // After CreateSession comes SelectDevices for a remote desktop (Persist::kDevices) and
  // SelectSources for a plain screen cast (Persist::kSources): the plan holds only the one.
  if (step == Step::kCreate && plan_.persist != Persist::kNone) {
    g_variant_builder_add(&b, "{sv}", "persist_mode", g_variant_new_uint32(kPersistUntilRevoked));
    if (!options_.restoreToken.empty())
      g_variant_builder_add(&b, "{sv}", "restore_token", g_variant_new_string(options_.restoreToken.c_str()));
  }
  switch (step) {
    case Step::kCreate: {
      session_ = SessionHandleFrom(results);
      if (session_.empty()) {
        g_variant_builder_clear(&b);
        Fail("the desktop portal made no session", true);
        return;
      }
      closedSignal_ = g_dbus_connection_signal_subscribe(
          bus_, kPortalName, kSession, "Closed", session_.c_str(), nullptr, G_DBUS_SIGNAL_FLAGS_NONE,
          [](GDBusConnection*, const gchar*, const gchar*, const gchar*, const gchar*, GVariant*, gpointer data) {
            if (PortalSession* self = static_cast<Call*>(data)->Live()) self->SessionClosed();
          },
          new Call{life_, this, attempt_, step}, [](gpointer data) { delete static_cast<Call*>(data); });
      if (plan_.remoteDesktop) {
        g_variant_builder_add(&b, "{sv}", "types", g_variant_new_uint32(plan_.devices));
        Request(Step::kSelectDevices, kRemoteDesktop, "SelectDevices",
                g_variant_new("(o@a{sv})", session_.c_str(), g_variant_builder_end(&b)), token);
        return;
      }
      [[fallthrough]];
    }
    case Step::kSelectDevices:
      g_variant_builder_add(&b, "{sv}", "types", g_variant_new_uint32(source::kMonitor));
      g_variant_builder_add(&b, "{sv}", "multiple", g_variant_new_boolean(FALSE));
      if (plan_.cursorMode != 0) g_variant_builder_add(&b, "{sv}", "cursor_mode", g_variant_new_uint32(plan_.cursorMode));
      Request(Step::kSelectSources, kScreenCast, "SelectSources",
              g_variant_new("(o@a{sv})", session_.c_str(), g_variant_builder_end(&b)), token);
      return;
    case Step::kSelectSources:
      Request(Step::kStart, plan_.remoteDesktop ? kRemoteDesktop : kScreenCast, "Start",
              g_variant_new("(os@a{sv})", session_.c_str(), "", g_variant_builder_end(&b)), token);
      return;
    case Step::kStart:
      g_variant_builder_clear(&b);
      started_ = ParseStartResults(results);
      if (!started_.hasStream) {
        Fail("the desktop portal started no screen cast", true);
        return;
      }
      // Single use: the next session of this run needs the new one too.
      if (!started_.restoreToken.empty()) {
        options_.restoreToken = started_.restoreToken;
        if (options_.saveRestoreToken) options_.saveRestoreToken(started_.restoreToken);
      }
      if (plan_.remoteDesktop && !g_variant_lookup(results, "devices", "u", nullptr)) started_.devices = plan_.devices;
      OpenRemote();
      return;
  }
}

void PortalSession::OpenRemote() {
  GVariantBuilder b;
  g_variant_builder_init(&b, G_VARIANT_TYPE_VARDICT);
  g_dbus_connection_call_with_unix_fd_list(
      bus_, kPortalName, kPortalPath, kScreenCast, "OpenPipeWireRemote",
      g_variant_new("(o@a{sv})", session_.c_str(), g_variant_builder_end(&b)), G_VARIANT_TYPE("(h)"),
      G_DBUS_CALL_FLAGS_NONE, -1, nullptr, cancellable_,
      [](GObject* source, GAsyncResult* result, gpointer data) {
        std::unique_ptr<Call> call(static_cast<Call*>(data));
        if (PortalSession* self = call->Live()) {
          self->RemoteOpened(result);
          return;
        }
        // Still collected, so that a descriptor that came is closed with its list.
        GUnixFDList* fds = nullptr;
        Variant reply(g_dbus_connection_call_with_unix_fd_list_finish(G_DBUS_CONNECTION(source), &fds, result, nullptr));
        Object<GUnixFDList> owned(fds);
      },
      new Call{life_, this, attempt_, Step::kStart});
}

void PortalSession::RemoteOpened(GAsyncResult* result) {
  GUnixFDList* list = nullptr;
  GError* error = nullptr;
  Variant reply(g_dbus_connection_call_with_unix_fd_list_finish(bus_, &list, result, &error));
  Object<GUnixFDList> fds(list);
  Error owned(error);
  if (!reply || !fds) {
    Fail(std::string("the desktop portal opened no PipeWire remote: ") + (error != nullptr ? error->message : "no descriptor"),
         true);
    return;
  }
  gint32 index = -1;
  g_variant_get(reply.get(), "(h)", &index);
  GError* fdError = nullptr;
  const int fd = g_unix_fd_list_get(fds.get(), index, &fdError);
  Error ownedFdError(fdError);
  if (fd < 0) {
    Fail("the desktop portal's PipeWire remote could not be taken", true);
    return;
  }
  up_ = true;
  upAt_ = std::chrono::steady_clock::now();
  std::string line = "the desktop portal shares its screen (stream " + std::to_string(started_.node);
  if (started_.width > 0) line += ", " + std::to_string(started_.width) + "x" + std::to_string(started_.height);
  line += ")";
  if (plan_.remoteDesktop) {
    const bool keys = (started_.devices & device::kKeyboard) != 0;
    const bool pointer = (started_.devices & device::kPointer) != 0;
    line += keys && pointer ? " and takes pointer and keys"
            : pointer       ? " and takes the pointer, not keys"
            : keys          ? " and takes keys, not the pointer"
                            : " but takes no input";
  }
  Log(line);
  if (ready_) ready_(fd, started_.node, plan_.cursorMode == cursor::kMetadata);
  else close(fd);
}

void PortalSession::SessionClosed() {
  Log("the desktop portal closed the session; asking for a new one");
  Teardown(false);
  ScheduleBegin();
}

void PortalSession::Renew(const char* why) {
  if (!up_ || renew_ != 0) return;
  renewWhy_ = why;
  // Later, from the main context: the stream that tells this goes with the session.
  renew_ = g_idle_add(
      [](gpointer data) -> gboolean {
        auto* self = static_cast<PortalSession*>(data);
        self->renew_ = 0;
        self->Log("the screen cast stopped (" + self->renewWhy_ + "); asking the desktop portal for a new session");
        self->Teardown(true);
        self->ScheduleBegin();
        return G_SOURCE_REMOVE;
      },
      this);
}

void PortalSession::Fail(const std::string& why, bool askAgain) {
  Teardown(true);
  if (askAgain) {
    Log(why + "; asking again in " + std::to_string(retryDelay_.count()) + " s");
    ScheduleBegin();
  } else {
    Log(why);
    refused_ = true;
    refusedAt_ = std::chrono::steady_clock::now();
  }
}

void PortalSession::Wake() {
  if (refused_ && std::chrono::steady_clock::now() - refusedAt_ >= kAskAgainAfter) Begin();
}

void PortalSession::ScheduleBegin() {
  if (retry_ != 0) g_source_remove(retry_);
  retry_ = g_timeout_add_seconds(
      static_cast<guint>(retryDelay_.count()),
      [](gpointer data) -> gboolean {
        auto* self = static_cast<PortalSession*>(data);
        self->retry_ = 0;
        self->Begin();
        return G_SOURCE_REMOVE;
      },
      this);
  retryDelay_ = std::min(retryDelay_ * 2, kLongestWait);
}

void PortalSession::Teardown(bool closeSession) {
  ++attempt_;  // replies still on their way find no one
  if (cancellable_ != nullptr) {
    g_cancellable_cancel(cancellable_);
    g_object_unref(cancellable_);
    cancellable_ = nullptr;
  }
  for (auto& p : pending_) g_dbus_connection_signal_unsubscribe(bus_, p->subscription);
  pending_.clear();
  if (closedSignal_ != 0) g_dbus_connection_signal_unsubscribe(bus_, closedSignal_);
  closedSignal_ = 0;
  if (closeSession && !session_.empty()) {
    g_dbus_connection_call(bus_, kPortalName, session_.c_str(), kSession, "Close", nullptr, nullptr,
                           G_DBUS_CALL_FLAGS_NONE, -1, nullptr, nullptr, nullptr);
  }
  session_.clear();
  if (up_ && std::chrono::steady_clock::now() - upAt_ >= kLastedLong) retryDelay_ = std::chrono::seconds(1);
  const bool wasUp = up_;
  up_ = false;
  started_ = StartResults{};
  if (wasUp && gone_) gone_();
}

void PortalSession::NoteFrameSize(std::int32_t width, std::int32_t height) {
  frameWidth_ = width;
  frameHeight_ = height;
}

bool PortalSession::PointerStream(std::uint32_t& node, double& width, double& height) {
  if (!up_) return false;
  node = started_.node;
  // The compositor's size of the stream where told (it differs from the frames' on a
  // scaled monitor), else the frames'.
  width = started_.width > 0 ? started_.width : frameWidth_;
  height = started_.height > 0 ? started_.height : frameHeight_;
  return width > 0 && height > 0;
}

bool PortalSession::InputAllowed(std::uint32_t wanted) {
  if (!up_ || !plan_.remoteDesktop) return false;
  if ((started_.devices & wanted) != 0) return true;
  if (!inputWarned_) Log(wanted == device::kKeyboard ? "the desktop gave no keyboard: keys are dropped"
                                                     : "the desktop gave no pointer: pointer input is dropped");
  inputWarned_ = true;
  return false;
}

void PortalSession::Input(const char* method, GVariant* arguments) {
  Variant owned(g_variant_ref_sink(arguments));
  // Sent in order on the one connection; only a failure is looked at.
  g_dbus_connection_call(
      bus_, kPortalName, kPortalPath, kRemoteDesktop, method, owned.get(), nullptr, G_DBUS_CALL_FLAGS_NONE, -1, nullptr,
      [](GObject* source, GAsyncResult* result, gpointer data) {
        std::unique_ptr<Call> call(static_cast<Call*>(data));
        GError* error = nullptr;
        Variant reply(g_dbus_connection_call_finish(G_DBUS_CONNECTION(source), result, &error));
        Error ownedError(error);
        PortalSession* self = call->Live();
        if (self == nullptr || reply || self->inputWarned_) return;
        self->inputWarned_ = true;
        self->Log(std::string("the desktop portal refused input: ") + error->message);
      },
      new Call{life_, this, attempt_, Step::kStart});
}

void PortalSession::PointerMotionAbsolute(std::uint32_t node, double x, double y) {
  if (InputAllowed(device::kPointer))
    Input("NotifyPointerMotionAbsolute", g_variant_new("(oa{sv}udd)", session_.c_str(), nullptr, node, x, y));
}

void PortalSession::PointerMotion(double dx, double dy) {
  if (InputAllowed(device::kPointer))
    Input("NotifyPointerMotion", g_variant_new("(oa{sv}dd)", session_.c_str(), nullptr, dx, dy));
}

void PortalSession::PointerButton(std::int32_t evdevButton, bool pressed) {
  if (InputAllowed(device::kPointer))
    Input("NotifyPointerButton", g_variant_new("(oa{sv}iu)", session_.c_str(), nullptr, evdevButton, pressed ? 1u : 0u));
}

void PortalSession::KeyboardKeysym(std::int32_t keysym, bool pressed) {
  if (InputAllowed(device::kKeyboard))
    Input("NotifyKeyboardKeysym", g_variant_new("(oa{sv}iu)", session_.c_str(), nullptr, keysym, pressed ? 1u : 0u));
}

}  // namespace ravelo::portal
