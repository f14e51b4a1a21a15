#include "app/tray_icon.h"

namespace ravelo {

void NotificationTray::HideToTray() {
  // Without the icon a hidden window could not be brought back, so it stays minimised and
  // the next loop pass tries again.
  if (in_tray_ || !area_.AddIcon()) return;
  window_.Hide();
  in_tray_ = true;
}

void NotificationTray::RestoreFromTray() {
  if (!in_tray_ || !area_.DeleteIcon()) return;
  window_.ShowDefault();
  window_.BringToTop();
  log_pane_.SetSelection(PaneStatusLog::kEndOfPane, PaneStatusLog::kEndOfPane);  // shows the latest lines
  in_tray_ = false;
}

}  // namespace ravelo
