#include <gtest/gtest.h>

#include "app/tray_icon.h"
#include "fake_notification_area.h"
#include "fake_window.h"

namespace ravelo {
namespace {

TEST(TrayIconTest, HideAndRestoreOnlyWhenTheSystemAccepts) {
  const struct {
    const char* step;
    bool hide;      // else restore
    bool accepts;
    int requests;   // to the notification area
    bool in_tray;   // and the rest as they are after the step
    bool visible;
    bool minimized;
    bool brought_back;  // shown on top, with the log scrolled to its last line
  } steps[] = {
      {"hide refused", true, false, 1, false, true, true, false},
      {"hide", true, true, 1, true, false, true, false},
      {"hide again", true, true, 0, true, false, true, false},
      {"restore refused", false, false, 1, true, false, true, false},
      {"restore", false, true, 1, false, true, false, true},
      {"restore again", false, true, 0, false, true, false, false},
  };
  FakeNotificationArea area;
  FakeWindowControls window;
  FakeLogPane pane;
  pane.text = "Server opened on port 8888.\r\n";
  NotificationTray tray(area, window, pane);
  window.minimized = true;
  for (const auto& s : steps) {
    SCOPED_TRACE(s.step);
    area.accept_add = area.accept_delete = s.accepts;
    pane.SetSelection(0, 0);
    window.calls.clear();
    int before = area.requests;
    if (s.hide) {
      tray.HideToTray();
    } else {
      tray.RestoreFromTray();
    }
    EXPECT_EQ(area.requests - before, s.requests);
    EXPECT_EQ(tray.InTray(), s.in_tray);
    EXPECT_EQ(area.icon_shown, s.in_tray);
    EXPECT_EQ(window.visible, s.visible);
    EXPECT_EQ(window.minimized, s.minimized);
    EXPECT_EQ(window.calls, s.brought_back ? std::vector<std::string>{"bring to top"}
                                           : std::vector<std::string>{});
    EXPECT_EQ(pane.SelectionStart(), s.brought_back ? static_cast<int>(pane.text.size()) : 0);
  }
}

TEST(TrayIconTest, TheStatusNotifierWhileAWatcherIsThereElseTheFallback) {
  const struct {
    const char* step;
    bool watcher;
    bool add;              // else delete
    bool status_notifier;  // the icon shown, or asked for, in each area afterwards
    bool fallback;
  } steps[] = {
      {"a watcher: the status notifier", true, true, true, false},
      {"taken away from it", true, false, false, false},
      {"no watcher: the X11 tray", false, true, false, true},
      // The window has not hidden yet when the watcher comes: the X11 request is withdrawn.
      {"then of the watcher", true, true, true, false},
      {"the watcher goes", false, true, false, true},
      {"taken away from the X11 tray", false, false, false, false},
  };
  FakeNotificationArea statusNotifier;
  FakeNotificationArea fallback;
  bool watcher = false;
  PreferredNotificationArea area(statusNotifier, [&watcher] { return watcher; }, &fallback);
  for (const auto& s : steps) {
    SCOPED_TRACE(s.step);
    watcher = s.watcher;
    EXPECT_TRUE(s.add ? area.AddIcon() : area.DeleteIcon());
    EXPECT_EQ(statusNotifier.icon_shown, s.status_notifier);
    EXPECT_EQ(fallback.icon_shown, s.fallback);
  }
}

}  // namespace
}  // namespace ravelo
