// The notification area through Shell_NotifyIconA.
#pragma once

#include <windows.h>
#include <shellapi.h>

#include <functional>

#include "app/tray_icon.h"

namespace ravelo {

class ShellNotificationArea : public NotificationArea {
 public:
  // `notify` is Shell_NotifyIconA; a test may look at the record instead.
  using Notify = std::function<BOOL(DWORD message, NOTIFYICONDATAA* record)>;

  ShellNotificationArea(HINSTANCE instance, HWND owner, Notify notify = Shell_NotifyIconA)
      : instance_(instance), owner_(owner), notify_(std::move(notify)) {}

  bool AddIcon() override { return Send(NIM_ADD); }
  bool DeleteIcon() override { return Send(NIM_DELETE); }

  // What the record's size field says: the whole record of the 32-bit layout. Here it
  // matches none of the sizes the shell knows, so the shell reads only the first fields
  // (owner, id, flags, callback, icon, tip), which are all the flags ask for.
  static constexpr DWORD kRecordSize = 508;

 private:
  bool Send(DWORD message);

  HINSTANCE instance_;
  HWND owner_;
  Notify notify_;
};

}  // namespace ravelo
