// The notification area on X11: a GtkStatusIcon, which a tray host (a freedesktop.org
// system tray, over XEmbed) takes into its panel.
#pragma once

#include <gtk/gtk.h>

#include <functional>

#include "app/tray_icon.h"

namespace ravelo {

class StatusIconArea : public NotificationArea {
 public:
  // `notify` gets the mouse events on the icon in the numbering the window expects
  // (ServerWindow::OnTrayNotify).
  StatusIconArea(GdkPixbuf* icon, std::function<void(unsigned mouseMessage)> notify);
  ~StatusIconArea() override;
  StatusIconArea(const StatusIconArea&) = delete;
  StatusIconArea& operator=(const StatusIconArea&) = delete;

  // Accepted once a tray host shows the icon. Docking takes a few events, so the first calls
  // only ask for it and answer false, and the window stays minimised meanwhile; with no tray
  // host at all nothing is asked for.
  bool AddIcon() override;
  bool DeleteIcon() override;

 private:
  static gboolean OnButtonPress(GtkStatusIcon*, GdkEventButton* event, gpointer self);
  static void OnEmbeddedChanged(GObject*, GParamSpec*, gpointer self);
  static void OnTrayOwnerChange(GtkClipboard*, GdkEvent*, gpointer self);

  GtkStatusIcon* icon_;
  GtkClipboard* tray_selection_ = nullptr;
  bool host_present_ = false;
  std::function<void(unsigned)> notify_;
};

}  // namespace ravelo
