// The tray of whatever desktop this is: the StatusNotifierItem one wherever its watcher is on
// the session bus, the XEmbed tray on X11 without one, and none otherwise (the window then
// stays minimised).
#pragma once

#include <gtk/gtk.h>

#include <functional>
#include <memory>

#include "app/gtk/status_icon_area.h"
#include "app/gtk/status_notifier_area.h"
#include "app/tray_icon.h"

namespace ravelo {

class DesktopNotificationArea : public NotificationArea {
 public:
  // After gtk_init: the display decides whether there is an X11 tray.
  DesktopNotificationArea(GdkPixbuf* smallIcon, GdkPixbuf* largeIcon, std::function<void(unsigned mouseMessage)> notify);

  bool AddIcon() override { return chosen_.AddIcon(); }
  bool DeleteIcon() override { return chosen_.DeleteIcon(); }

 private:
  StatusNotifierArea status_notifier_;
  std::unique_ptr<StatusIconArea> status_icon_;  // X11 only: GtkStatusIcon has no tray on Wayland
  PreferredNotificationArea chosen_;
};

}  // namespace ravelo
