// The tray icon: while the window is hidden, the icon "Ravelo" in the notification area
// stands in for it, and a double-click on the icon brings it back.
#pragma once

#include <functional>

#include "app/shell.h"
#include "app/status_log.h"

namespace ravelo {

constexpr const char kTrayTip[] = "Ravelo";

// The notification area. Both return whether the system accepted the request.
class NotificationArea {
 public:
  virtual ~NotificationArea() = default;
  virtual bool AddIcon() = 0;
  virtual bool DeleteIcon() = 0;
};

// The desktop's notification area where there may be two: the StatusNotifierItem one while
// its watcher is on the session bus, else the fallback (the XEmbed tray on X11; null: none).
// Chosen anew at each AddIcon, since either host may come or go while the window waits.
class PreferredNotificationArea : public NotificationArea {
 public:
  PreferredNotificationArea(NotificationArea& statusNotifier, std::function<bool()> watcherPresent,
                            NotificationArea* fallback)
      : status_notifier_(statusNotifier), watcher_present_(std::move(watcherPresent)), fallback_(fallback) {}

  bool AddIcon() override;
  bool DeleteIcon() override;

 private:
  NotificationArea& status_notifier_;
  std::function<bool()> watcher_present_;
  NotificationArea* fallback_;
  NotificationArea* asked_ = nullptr;  // the area last asked for the icon
};

class NotificationTray : public TrayIcon {
 public:
  NotificationTray(NotificationArea& area, WindowControls& window, LogPane& logPane)
      : area_(area), window_(window), log_pane_(logPane) {}

  bool InTray() const override { return in_tray_; }
  void HideToTray() override;
  void RestoreFromTray() override;

 private:
  NotificationArea& area_;
  WindowControls& window_;
  LogPane& log_pane_;
  bool in_tray_ = false;  // the process has one tray object, so this is its one in-tray flag
};

}  // namespace ravelo
