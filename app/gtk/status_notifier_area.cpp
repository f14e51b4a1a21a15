#include "app/gtk/status_notifier_area.h"

#include <unistd.h>

#include <cstdio>
#include <cstring>

namespace ravelo {
namespace {

constexpr const char kWatcher[] = "org.kde.StatusNotifierWatcher";
constexpr const char kWatcherPath[] = "/StatusNotifierWatcher";
constexpr const char kItem[] = "org.kde.StatusNotifierItem";
constexpr const char kItemPath[] = "/StatusNotifierItem";

constexpr const char kItemXml[] =
    "<node><interface name='org.kde.StatusNotifierItem'>"
    "<property name='Category' type='s' access='read'/>"
    "<property name='Id' type='s' access='read'/>"
    "<property name='Title' type='s' access='read'/>"
    "<property name='Status' type='s' access='read'/>"
    "<property name='WindowId' type='i' access='read'/>"
    "<property name='IconName' type='s' access='read'/>"
    "<property name='IconPixmap' type='a(iiay)' access='read'/>"
    "<property name='OverlayIconName' type='s' access='read'/>"
    "<property name='AttentionIconName' type='s' access='read'/>"
    "<property name='ToolTip' type='(sa(iiay)ss)' access='read'/>"
    "<property name='ItemIsMenu' type='b' access='read'/>"
    "<property name='Menu' type='o' access='read'/>"
    "<method name='ContextMenu'><arg name='x' type='i' direction='in'/><arg name='y' type='i' direction='in'/></method>"
    "<method name='Activate'><arg name='x' type='i' direction='in'/><arg name='y' type='i' direction='in'/></method>"
    "<method name='SecondaryActivate'><arg name='x' type='i' direction='in'/>"
    "<arg name='y' type='i' direction='in'/></method>"
    "<method name='Scroll'><arg name='delta' type='i' direction='in'/>"
    "<arg name='orientation' type='s' direction='in'/></method>"
    "<signal name='NewStatus'><arg name='status' type='s'/></signal>"
    "</interface></node>";

GDBusInterfaceInfo* ItemInterface() {
  static GDBusNodeInfo* node = g_dbus_node_info_new_for_xml(kItemXml, nullptr);  // lives with the process
  return node->interfaces[0];
}

GVariant* Pixmaps(const std::vector<GdkPixbuf*>& icons) {
  GVariantBuilder builder;
  g_variant_builder_init(&builder, G_VARIANT_TYPE("a(iiay)"));
  for (GdkPixbuf* icon : icons) {
    if (gdk_pixbuf_get_bits_per_sample(icon) != 8 || gdk_pixbuf_get_n_channels(icon) < 3) continue;
    const int width = gdk_pixbuf_get_width(icon);
    const int height = gdk_pixbuf_get_height(icon);
    const std::vector<std::uint8_t> argb =
        NetworkArgb(gdk_pixbuf_read_pixels(icon), width, height, gdk_pixbuf_get_rowstride(icon),
                    gdk_pixbuf_get_has_alpha(icon) != FALSE);
    g_variant_builder_add(&builder, "(ii@ay)", width, height,
                          g_variant_new_fixed_array(G_VARIANT_TYPE_BYTE, argb.data(), argb.size(), 1));
  }
  return g_variant_ref_sink(g_variant_builder_end(&builder));
}

bool Cancelled(const GError* error) { return g_error_matches(error, G_IO_ERROR, G_IO_ERROR_CANCELLED) != FALSE; }

}  // namespace

std::vector<std::uint8_t> NetworkArgb(const std::uint8_t* pixels, int width, int height, int rowstride,
                                      bool hasAlpha) {
  const int channels = hasAlpha ? 4 : 3;
  std::vector<std::uint8_t> argb;
  argb.reserve(static_cast<std::size_t>(width) * static_cast<std::size_t>(height) * 4);
  for (int y = 0; y < height; ++y) {
    const std::uint8_t* p = pixels + static_cast<std::ptrdiff_t>(y) * rowstride;
    for (int x = 0; x < width; ++x, p += channels) {
      argb.push_back(hasAlpha ? p[3] : 0xff);
      argb.insert(argb.end(), p, p + 3);
    }
  }
  return argb;
}

StatusNotifierArea::StatusNotifierArea(const std::vector<GdkPixbuf*>& icons, std::function<void(unsigned)> notify)
    : notify_(std::move(notify)),
      name_(std::string(kItem) + "-" + std::to_string(getpid()) + "-1"),
      pixmaps_(Pixmaps(icons)) {
  // The watcher is followed from here on: the loop hears of it coming and going through
  // GLib's main context, as of any other event.
  watch_id_ = g_bus_watch_name(G_BUS_TYPE_SESSION, kWatcher, G_BUS_NAME_WATCHER_FLAGS_NONE, OnWatcherAppeared,
                               OnWatcherVanished, this, nullptr);
}

StatusNotifierArea::~StatusNotifierArea() {
  g_bus_unwatch_name(watch_id_);
  Withdraw();
  if (host_signal_ != 0) g_dbus_connection_signal_unsubscribe(bus_, host_signal_);
  if (object_id_ != 0) g_dbus_connection_unregister_object(bus_, object_id_);
  if (bus_ != nullptr) g_object_unref(bus_);
  g_variant_unref(pixmaps_);
}

bool StatusNotifierArea::AddIcon() {
  if (!watcher_present_ || object_id_ == 0) return false;
  if (stage_ == Stage::kWithdrawn) {
    stage_ = Stage::kAsking;
    registration_ = g_cancellable_new();
    own_id_ = g_bus_own_name_on_connection(bus_, name_.c_str(), G_BUS_NAME_OWNER_FLAGS_DO_NOT_QUEUE, OnNameAcquired,
                                           OnNameLost, this, nullptr);
  }
  return stage_ == Stage::kRegistered && host_present_;
}

bool StatusNotifierArea::DeleteIcon() {
  Withdraw();
  return true;
}

void StatusNotifierArea::Withdraw() {
  if (registration_ != nullptr) {
    g_cancellable_cancel(registration_);
    g_object_unref(registration_);
    registration_ = nullptr;
  }
  if (own_id_ != 0) {
    // A host that follows the item by its owner's unique name rather than by its own name
    // still hides a passive one.
    SetStatus("Passive");
    g_bus_unown_name(own_id_);
    own_id_ = 0;
  }
  if (stage_ != Stage::kRefused) stage_ = Stage::kWithdrawn;
}

void StatusNotifierArea::SetStatus(const char* status) {
  status_ = status;
  if (object_id_ != 0) {
    g_dbus_connection_emit_signal(bus_, nullptr, kItemPath, kItem, "NewStatus", g_variant_new("(s)", status), nullptr);
  }
}

void StatusNotifierArea::Refuse(const char* why) {
  // Not asked again until a watcher comes anew: the window stays minimised, or takes the
  // X11 tray where there is one.
  std::fprintf(stderr, "ravelo: the tray's watcher did not take the icon: %s\n", why);
  Withdraw();
  stage_ = Stage::kRefused;
}

void StatusNotifierArea::OnWatcherAppeared(GDBusConnection* bus, const gchar*, const gchar*, gpointer self) {
  auto* me = static_cast<StatusNotifierArea*>(self);
  if (me->bus_ == nullptr) {
    me->bus_ = G_DBUS_CONNECTION(g_object_ref(bus));
    static const GDBusInterfaceVTable vtable = {OnMethodCall, OnGetProperty, nullptr, {}};
    GError* error = nullptr;
    me->object_id_ = g_dbus_connection_register_object(bus, kItemPath, ItemInterface(), &vtable, me, nullptr, &error);
    if (me->object_id_ == 0) {
      std::fprintf(stderr, "ravelo: the tray icon cannot be put on the session bus: %s\n", error->message);
      g_error_free(error);
    }
  }
  me->watcher_present_ = true;
  me->host_present_ = false;
  me->stage_ = Stage::kWithdrawn;
  if (me->host_signal_ != 0) g_dbus_connection_signal_unsubscribe(bus, me->host_signal_);
  // A panel that starts after its watcher says so; until then the item would show nowhere.
  me->host_signal_ = g_dbus_connection_signal_subscribe(bus, kWatcher, kWatcher, "StatusNotifierHostRegistered",
                                                        kWatcherPath, nullptr, G_DBUS_SIGNAL_FLAGS_NONE,
                                                        OnHostRegistered, me, nullptr);
}

void StatusNotifierArea::OnWatcherVanished(GDBusConnection*, const gchar*, gpointer self) {
  auto* me = static_cast<StatusNotifierArea*>(self);
  const bool shown = me->stage_ == Stage::kRegistered;
  me->watcher_present_ = false;
  me->host_present_ = false;
  if (me->host_signal_ != 0) g_dbus_connection_signal_unsubscribe(me->bus_, me->host_signal_);
  me->host_signal_ = 0;
  me->Withdraw();
  me->stage_ = Stage::kWithdrawn;
  // With the panel gone the window would have no way back: it comes back as a double-click
  // on the icon would bring it.
  if (shown) me->notify_(ServerWindow::kLeftDoubleClick);
}

void StatusNotifierArea::OnNameAcquired(GDBusConnection* bus, const gchar*, gpointer self) {
  auto* me = static_cast<StatusNotifierArea*>(self);
  if (me->stage_ != Stage::kAsking) return;
  me->SetStatus("Active");
  g_dbus_connection_call(bus, kWatcher, kWatcherPath, kWatcher, "RegisterStatusNotifierItem",
                         g_variant_new("(s)", me->name_.c_str()), nullptr, G_DBUS_CALL_FLAGS_NONE, -1,
                         me->registration_, OnRegistered, me);
}

void StatusNotifierArea::OnNameLost(GDBusConnection*, const gchar*, gpointer self) {
  auto* me = static_cast<StatusNotifierArea*>(self);
  if (me->stage_ == Stage::kAsking) {
    me->Refuse("its name is taken on the session bus");
  } else if (me->stage_ == Stage::kRegistered) {
    me->Withdraw();
    me->notify_(ServerWindow::kLeftDoubleClick);
  }
}

void StatusNotifierArea::OnRegistered(GObject* bus, GAsyncResult* result, gpointer self) {
  GError* error = nullptr;
  GVariant* reply = g_dbus_connection_call_finish(G_DBUS_CONNECTION(bus), result, &error);
  if (reply == nullptr) {
    // A cancelled call's area may be gone already.
    if (!Cancelled(error)) static_cast<StatusNotifierArea*>(self)->Refuse(error->message);
    g_error_free(error);
    return;
  }
  g_variant_unref(reply);
  auto* me = static_cast<StatusNotifierArea*>(self);
  me->stage_ = Stage::kRegistered;
  g_dbus_connection_call(G_DBUS_CONNECTION(bus), kWatcher, kWatcherPath, "org.freedesktop.DBus.Properties", "Get",
                         g_variant_new("(ss)", kWatcher, "IsStatusNotifierHostRegistered"), G_VARIANT_TYPE("(v)"),
                         G_DBUS_CALL_FLAGS_NONE, -1, me->registration_, OnHostProperty, me);
}

void StatusNotifierArea::OnHostProperty(GObject* bus, GAsyncResult* result, gpointer self) {
  GError* error = nullptr;
  GVariant* reply = g_dbus_connection_call_finish(G_DBUS_CONNECTION(bus), result, &error);
  if (reply == nullptr && Cancelled(error)) {
    g_error_free(error);
    return;
  }
  auto* me = static_cast<StatusNotifierArea*>(self);
  if (reply == nullptr) {
    me->host_present_ = true;  // a watcher that cannot say is taken at its word that it shows items
    g_error_free(error);
    return;
  }
  GVariant* value = nullptr;
  g_variant_get(reply, "(v)", &value);
  me->host_present_ = me->host_present_ ||
                      (g_variant_is_of_type(value, G_VARIANT_TYPE_BOOLEAN) && g_variant_get_boolean(value));
  g_variant_unref(value);
  g_variant_unref(reply);
}

void StatusNotifierArea::OnHostRegistered(GDBusConnection*, const gchar*, const gchar*, const gchar*, const gchar*,
                                          GVariant*, gpointer self) {
  static_cast<StatusNotifierArea*>(self)->host_present_ = true;
}

void StatusNotifierArea::OnMethodCall(GDBusConnection*, const gchar*, const gchar*, const gchar*, const gchar* method,
                                      GVariant*, GDBusMethodInvocation* invocation, gpointer self) {
  g_dbus_method_invocation_return_value(invocation, nullptr);
  // A click on the item activates it: the window comes back. The menu and the wheel do nothing.
  if (std::strcmp(method, "Activate") == 0) static_cast<StatusNotifierArea*>(self)->notify_(ServerWindow::kLeftDoubleClick);
}

GVariant* StatusNotifierArea::OnGetProperty(GDBusConnection*, const gchar*, const gchar*, const gchar*,
                                            const gchar* property, GError** error, gpointer self) {
  auto* me = static_cast<StatusNotifierArea*>(self);
  const std::string name = property;
  if (name == "Category") return g_variant_new_string("ApplicationStatus");
  if (name == "Id") return g_variant_new_string("ravelo");
  if (name == "Title") return g_variant_new_string(kTrayTip);
  if (name == "Status") return g_variant_new_string(me->status_);
  if (name == "WindowId") return g_variant_new_int32(0);
  // No themed icon names: the host draws the pixmaps.
  if (name == "IconName" || name == "OverlayIconName" || name == "AttentionIconName") return g_variant_new_string("");
  if (name == "IconPixmap") return g_variant_ref(me->pixmaps_);
  if (name == "ToolTip") return g_variant_new("(s@a(iiay)ss)", "", me->pixmaps_, kTrayTip, "");
  if (name == "ItemIsMenu") return g_variant_new_boolean(FALSE);
  if (name == "Menu") return g_variant_new_object_path("/NO_DBUSMENU");
  g_set_error(error, G_DBUS_ERROR, G_DBUS_ERROR_UNKNOWN_PROPERTY, "no property %s", property);
  return nullptr;
}

}  // namespace ravelo
