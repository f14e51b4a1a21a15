#include "app/gtk/start_at_login_menu.h"

namespace ravelo {

StartAtLoginMenuItem::StartAtLoginMenuItem(GtkMenuShell* fileMenu, StartAtLoginItem& item)
    : menu_(GTK_WIDGET(g_object_ref(fileMenu))), item_(item) {
  check_ = gtk_check_menu_item_new_with_mnemonic("Start at _login");
  g_object_ref(check_);  // both stay valid until this object goes, however the window goes
  gtk_menu_shell_insert(fileMenu, check_, 0);  // above "Fast answers", as in the Windows menu
  gtk_widget_show(check_);
  ShowState();
  g_signal_connect(menu_, "show", G_CALLBACK(OnMenuShown), this);
  toggled_ = g_signal_connect(check_, "toggled", G_CALLBACK(OnToggled), this);
}

StartAtLoginMenuItem::~StartAtLoginMenuItem() {
  g_signal_handlers_disconnect_by_data(menu_, this);
  g_signal_handlers_disconnect_by_data(check_, this);
  g_object_unref(check_);
  g_object_unref(menu_);
}

void StartAtLoginMenuItem::ShowState() {
  // Setting the mark emits "toggled"; that is not the user's click.
  if (toggled_ != 0) g_signal_handler_block(check_, toggled_);
  gtk_check_menu_item_set_active(GTK_CHECK_MENU_ITEM(check_), item_.Checked() ? TRUE : FALSE);
  if (toggled_ != 0) g_signal_handler_unblock(check_, toggled_);
}

void StartAtLoginMenuItem::OnMenuShown(GtkWidget*, gpointer self) { static_cast<StartAtLoginMenuItem*>(self)->ShowState(); }

void StartAtLoginMenuItem::OnToggled(GtkCheckMenuItem*, gpointer self) {
  auto* me = static_cast<StartAtLoginMenuItem*>(self);
  me->item_.Toggle();
  me->ShowState();  // what is stored now, which a failed write left as it was
}

}  // namespace ravelo
