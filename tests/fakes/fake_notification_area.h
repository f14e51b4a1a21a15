// A notification area that accepts or refuses as the test says and keeps the icon's state.
#pragma once

#include "app/tray_icon.h"

namespace ravelo {

class FakeNotificationArea : public NotificationArea {
 public:
  bool accept_add = true;
  bool accept_delete = true;
  bool icon_shown = false;
  int requests = 0;

  bool AddIcon() override {
    ++requests;
    if (accept_add) icon_shown = true;
    return accept_add;
  }
  bool DeleteIcon() override {
    ++requests;
    if (accept_delete) icon_shown = false;
    return accept_delete;
  }
};

}  // namespace ravelo
