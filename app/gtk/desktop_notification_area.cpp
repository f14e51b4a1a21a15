#include "app/gtk/desktop_notification_area.h"

#include <gdk/gdkx.h>

namespace ravelo {
namespace {

std::unique_ptr<StatusIconArea> X11StatusIcon(GdkPixbuf* icon, const std::function<void(unsigned)>& notify) {
  if (!GDK_IS_X11_DISPLAY(gdk_display_get_default())) return nullptr;
  return std::make_unique<StatusIconArea>(icon, notify);
}

}  // namespace

DesktopNotificationArea::DesktopNotificationArea(GdkPixbuf* smallIcon, GdkPixbuf* largeIcon,
                                                 std::function<void(unsigned)> notify)
    : status_notifier_({smallIcon, largeIcon}, notify),
      status_icon_(X11StatusIcon(smallIcon, notify)),
      chosen_(status_notifier_, [this] { return status_notifier_.Available(); }, status_icon_.get()) {}

}  // namespace ravelo
