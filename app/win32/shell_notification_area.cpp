#include "app/win32/shell_notification_area.h"

#include <cstring>

namespace ravelo {
namespace {

// The shell keeps its own copy of the icon, so ours goes when the call returns.
struct SmallIcon {
  explicit SmallIcon(HINSTANCE instance)
      : icon(static_cast<HICON>(LoadImageA(instance, MAKEINTRESOURCEA(ids::kTrayIcon), IMAGE_ICON, 16, 16,
                                           LR_DEFAULTCOLOR))) {}
  ~SmallIcon() {
    if (icon != nullptr) DestroyIcon(icon);
  }
  SmallIcon(const SmallIcon&) = delete;
  SmallIcon& operator=(const SmallIcon&) = delete;
  HICON icon;
};

}  // namespace

bool ShellNotificationArea::Send(DWORD message) {
  SmallIcon icon(instance_);
  NOTIFYICONDATAA record;
  std::memset(&record, 0, sizeof record);  // balloon text, title and flags stay empty
  static_assert(sizeof record >= kRecordSize, "the shell may read all the size field claims");
  record.cbSize = kRecordSize;
  record.hWnd = owner_;
  record.uID = ids::kTrayIcon;
  record.uFlags = NIF_MESSAGE | NIF_ICON | NIF_TIP;
  record.uCallbackMessage = ids::kTrayMessage;
  record.hIcon = icon.icon;
  std::strcpy(record.szTip, kTrayTip);
  record.dwState = NIS_SHAREDICON;
  record.dwStateMask = NIS_SHAREDICON;
  record.uTimeout = 3;  // no balloon is shown and no version asked for, so it does nothing
  return notify_(message, &record) != FALSE;
}

}  // namespace ravelo
