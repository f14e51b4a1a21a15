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

bool PreferredNotificationArea::AddIcon() {
  NotificationArea* chosen = watcher_present_() ? &status_notifier_ : fallback_;
  // A request left with the other area would put a second icon up once its host answers.
  if (asked_ != nullptr && asked_ != chosen) asked_->DeleteIcon();
  asked_ = chosen;
  return chosen != nullptr && chosen->AddIcon();
}

bool PreferredNotificationArea::DeleteIcon() {
  if (asked_ == nullptr) return true;
  if (!asked_->DeleteIcon()) return false;
  asked_ = nullptr;
  return true;
}

}  // namespace ravelo
