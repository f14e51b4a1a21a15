// "Start at login" as a check item at the top of the GTK window's File menu; its mark is read
// anew each time the menu opens.
#pragma once

#include <gtk/gtk.h>

#include "app/autostart.h"

namespace ravelo {

class StartAtLoginMenuItem {
 public:
  StartAtLoginMenuItem(GtkMenuShell* fileMenu, StartAtLoginItem& item);
  ~StartAtLoginMenuItem();
  StartAtLoginMenuItem(const StartAtLoginMenuItem&) = delete;
  StartAtLoginMenuItem& operator=(const StartAtLoginMenuItem&) = delete;

 private:
  static void OnMenuShown(GtkWidget*, gpointer self);
  static void OnToggled(GtkCheckMenuItem*, gpointer self);
  void ShowState();

  GtkWidget* menu_;
  GtkWidget* check_;
  StartAtLoginItem& item_;
  gulong toggled_ = 0;
};

}  // namespace ravelo
