// The notification area of desktops with a StatusNotifierItem host (KDE Plasma, GNOME with its
// AppIndicator extension, waybar and other panels): the icon is an object on the session bus
// that the host's watcher is told of, which works in Wayland sessions as well as on X11.
#pragma once

#include <gtk/gtk.h>

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "app/tray_icon.h"

namespace ravelo {

// A picture as a host reads it: ARGB32 in network byte order (A, R, G, B bytes), rows from the
// top with no padding. `pixels` are 8-bit RGB or RGBA rows `rowstride` bytes apart.
std::vector<std::uint8_t> NetworkArgb(const std::uint8_t* pixels, int width, int height, int rowstride,
                                      bool hasAlpha);

class StatusNotifierArea : public NotificationArea {
 public:
  // `icons` (copied) are offered in every size given; `notify` gets the mouse events in the
  // numbering the window expects (ServerWindow::OnTrayNotify): an activation is a double-click.
  StatusNotifierArea(const std::vector<GdkPixbuf*>& icons, std::function<void(unsigned mouseMessage)> notify);
  ~StatusNotifierArea() override;
  StatusNotifierArea(const StatusNotifierArea&) = delete;
  StatusNotifierArea& operator=(const StatusNotifierArea&) = delete;

  // Whether a watcher is on the session bus and the item can be offered to it.
  bool Available() const { return watcher_present_ && object_id_ != 0 && stage_ != Stage::kRefused; }
  // Accepted once the watcher took the item and a host shows it. Registering takes a few
  // messages, so the first calls only start it and answer false, and the window stays
  // minimised meanwhile.
  bool AddIcon() override;
  // Withdraws the item: its name leaves the bus, which hosts take as its removal.
  bool DeleteIcon() override;

 private:
  enum class Stage { kWithdrawn, kAsking, kRegistered, kRefused };

  static void OnWatcherAppeared(GDBusConnection* bus, const gchar*, const gchar*, gpointer self);
  static void OnWatcherVanished(GDBusConnection*, const gchar*, gpointer self);
  static void OnNameAcquired(GDBusConnection*, const gchar*, gpointer self);
  static void OnNameLost(GDBusConnection*, const gchar*, gpointer self);
  static void OnRegistered(GObject* bus, GAsyncResult* result, gpointer self);
  static void OnHostProperty(GObject* bus, GAsyncResult* result, gpointer self);
  static void OnHostRegistered(GDBusConnection*, const gchar*, const gchar*, const gchar*, const gchar*, GVariant*,
                               gpointer self);
  static void OnMethodCall(GDBusConnection*, const gchar*, const gchar*, const gchar*, const gchar* method,
                           GVariant*, GDBusMethodInvocation* invocation, gpointer self);
  static GVariant* OnGetProperty(GDBusConnection*, const gchar*, const gchar*, const gchar*, const gchar* property,
                                 GError**, gpointer self);
  void Withdraw();
  void SetStatus(const char* status);
  void Refuse(const char* why);

  std::function<void(unsigned)> notify_;
  std::string name_;   // the item's well-known name on the bus
  GVariant* pixmaps_;  // a(iiay)
  guint watch_id_ = 0;
  GDBusConnection* bus_ = nullptr;  // the session bus, once a watcher was seen on it
  guint object_id_ = 0;
  guint host_signal_ = 0;
  guint own_id_ = 0;
  GCancellable* registration_ = nullptr;  // the calls of the registration under way
  bool watcher_present_ = false;
  bool host_present_ = false;
  Stage stage_ = Stage::kWithdrawn;
  const char* status_ = "Passive";
};

}  // namespace ravelo
