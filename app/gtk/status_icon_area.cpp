// GtkStatusIcon is GTK 3's one way to the XEmbed tray, deprecated for Wayland's sake only.
#define GDK_DISABLE_DEPRECATION_WARNINGS
#include "app/gtk/status_icon_area.h"

#include <gdk/gdkx.h>

#include <string>

namespace ravelo {
namespace {

// The selection a tray host of this screen owns.
std::string TraySelection(GdkDisplay* display) {
  return "_NET_SYSTEM_TRAY_S" + std::to_string(gdk_x11_screen_get_screen_number(gdk_display_get_default_screen(display)));
}

// Whether a tray host owns the system-tray selection: one round trip to the X server.
bool TrayHostPresent() {
  GdkDisplay* display = gdk_display_get_default();
  if (!GDK_IS_X11_DISPLAY(display)) return false;
  Display* x = GDK_DISPLAY_XDISPLAY(display);
  return XGetSelectionOwner(x, gdk_x11_get_xatom_by_name_for_display(display, TraySelection(display).c_str())) != None;
}

}  // namespace

StatusIconArea::StatusIconArea(GdkPixbuf* icon, std::function<void(unsigned)> notify)
    : icon_(gtk_status_icon_new_from_pixbuf(icon)), notify_(std::move(notify)) {
  gtk_status_icon_set_visible(icon_, FALSE);
  gtk_status_icon_set_name(icon_, "ravelo");
  gtk_status_icon_set_title(icon_, kTrayTip);
  gtk_status_icon_set_tooltip_text(icon_, kTrayTip);
  g_signal_connect(icon_, "button-press-event", G_CALLBACK(OnButtonPress), this);
  g_signal_connect(icon_, "notify::embedded", G_CALLBACK(OnEmbeddedChanged), this);
  // Asked once here and then told by the X server when the selection changes hands, so
  // that a minimised window waiting for a tray host costs no round trip a loop pass.
  GdkDisplay* display = gdk_display_get_default();
  if (GDK_IS_X11_DISPLAY(display)) {
    host_present_ = TrayHostPresent();
    tray_selection_ = gtk_clipboard_get_for_display(display, gdk_atom_intern(TraySelection(display).c_str(), FALSE));
    g_signal_connect(tray_selection_, "owner-change", G_CALLBACK(OnTrayOwnerChange), this);
  }
}

StatusIconArea::~StatusIconArea() {
  if (tray_selection_ != nullptr) g_signal_handlers_disconnect_by_data(tray_selection_, this);
  g_signal_handlers_disconnect_by_data(icon_, this);
  g_object_unref(icon_);
}

bool StatusIconArea::AddIcon() {
  if (!host_present_) {
    gtk_status_icon_set_visible(icon_, FALSE);  // no request left pending for a later host
    return false;
  }
  gtk_status_icon_set_visible(icon_, TRUE);
  return gtk_status_icon_is_embedded(icon_) != FALSE;
}

bool StatusIconArea::DeleteIcon() {
  gtk_status_icon_set_visible(icon_, FALSE);
  return true;
}

gboolean StatusIconArea::OnButtonPress(GtkStatusIcon*, GdkEventButton* event, gpointer self) {
  if (event->type == GDK_2BUTTON_PRESS && event->button == 1) {
    static_cast<StatusIconArea*>(self)->notify_(ServerWindow::kLeftDoubleClick);
  }
  return TRUE;
}

void StatusIconArea::OnTrayOwnerChange(GtkClipboard*, GdkEvent*, gpointer self) {
  static_cast<StatusIconArea*>(self)->host_present_ = TrayHostPresent();
}

void StatusIconArea::OnEmbeddedChanged(GObject*, GParamSpec*, gpointer self) {
  // A tray host that goes away while the window hides behind its icon would leave no way
  // back to the window: bring it back as a double-click on the icon would.
  auto* me = static_cast<StatusIconArea*>(self);
  if (gtk_status_icon_get_visible(me->icon_) && !gtk_status_icon_is_embedded(me->icon_)) {
    me->notify_(ServerWindow::kLeftDoubleClick);
  }
}

}  // namespace ravelo
