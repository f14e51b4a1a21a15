#include "app/gtk/gtk_window.h"

#include <gdk/gdkx.h>

#include <algorithm>
#include <cstdint>
#include <initializer_list>

#include "app/gtk/window_texts.h"
#include "wire/latin1.h"
#include "wire/protocol.h"

namespace ravelo {
namespace {

// Sizes in pixels, about what the Windows dialog's layout gives at 96 dpi.
constexpr int kMargin = 10;
constexpr int kLogWidth = 260;
constexpr int kLogHeight = 190;
constexpr int kPasswordChars = 12;

GtkTextIter IterAt(GtkTextBuffer* buffer, int offset) {
  GtkTextIter iter;
  gtk_text_buffer_get_iter_at_offset(buffer, &iter, offset);  // past the end means the end
  return iter;
}

// Whether `iter` stands between the \r and the \n of a line break.
bool InsideLineBreak(const GtkTextIter* iter) {
  if (gtk_text_iter_get_char(iter) != '\n') return false;
  GtkTextIter before = *iter;
  return gtk_text_iter_backward_char(&before) && gtk_text_iter_get_char(&before) == '\r';
}

// A menu of the bar; `items` go into it in order, each activating its callback.
GtkWidget* MenuWithItems(GtkWidget* bar, const char* menuText, std::initializer_list<GtkWidget*> items) {
  GtkWidget* top = gtk_menu_item_new_with_mnemonic(menuText);
  GtkWidget* menu = gtk_menu_new();
  for (GtkWidget* item : items) gtk_menu_shell_append(GTK_MENU_SHELL(menu), item);
  gtk_menu_item_set_submenu(GTK_MENU_ITEM(top), menu);
  gtk_menu_shell_append(GTK_MENU_SHELL(bar), top);
  return menu;
}

GtkWidget* Item(GtkWidget* item, GCallback onItem, gpointer self) {
  g_signal_connect(item, "activate", onItem, self);
  return item;
}

GtkWidget* Label(const char* text, float xalign) {
  GtkWidget* label = gtk_label_new(text);
  gtk_label_set_xalign(GTK_LABEL(label), xalign);
  return label;
}

}  // namespace

int EditControlLineCount(const char* text) {
  int lines = 1;
  for (const char* p = text; p[0] != '\0'; ++p) lines += p[0] == '\r' && p[1] == '\n';
  return lines;
}

TextViewLogPane::TextViewLogPane(GtkTextView* view)
    : view_(view), buffer_(GTK_TEXT_BUFFER(g_object_ref(gtk_text_view_get_buffer(view)))) {
  g_object_add_weak_pointer(G_OBJECT(view_), reinterpret_cast<gpointer*>(&view_));
}

TextViewLogPane::~TextViewLogPane() {
  if (view_ != nullptr) g_object_remove_weak_pointer(G_OBJECT(view_), reinterpret_cast<gpointer*>(&view_));
  g_object_unref(buffer_);
}

int TextViewLogPane::LineCount() {
  // Counted as the Windows edit control counts, so that the log is trimmed at the same point.
  GtkTextIter start;
  GtkTextIter end;
  gtk_text_buffer_get_bounds(buffer_, &start, &end);
  gchar* text = gtk_text_buffer_get_text(buffer_, &start, &end, TRUE);
  int lines = EditControlLineCount(text);
  g_free(text);
  return lines;
}

void TextViewLogPane::SetSelection(int start, int end) {
  GtkTextIter anchor = IterAt(buffer_, start);
  GtkTextIter caret = IterAt(buffer_, end);
  selection_start_ = gtk_text_iter_get_offset(&anchor);
  selection_end_ = gtk_text_iter_get_offset(&caret);
  for (GtkTextIter* mark : {&anchor, &caret}) {
    if (InsideLineBreak(mark)) gtk_text_iter_forward_char(mark);
  }
  gtk_text_buffer_select_range(buffer_, &caret, &anchor);
  ScrollToCaret();
}

void TextViewLogPane::ReplaceSelection(const char* text) {
  GtkTextIter from = IterAt(buffer_, std::min(selection_start_, selection_end_));
  GtkTextIter to = IterAt(buffer_, std::max(selection_start_, selection_end_));
  gtk_text_buffer_delete(buffer_, &from, &to);
  gtk_text_buffer_insert(buffer_, &from, text, -1);
  gtk_text_buffer_place_cursor(buffer_, &from);  // after the new text, as the edit control leaves it
  selection_start_ = selection_end_ = gtk_text_iter_get_offset(&from);
  ScrollToCaret();
}

void TextViewLogPane::ScrollToCaret() {
  // Done once the view has laid the new text out, so the newest line is in sight.
  if (view_ != nullptr) gtk_text_view_scroll_mark_onscreen(view_, gtk_text_buffer_get_insert(buffer_));
}

GtkServerWindow::GtkServerWindow(GdkPixbuf* largeIcon)
    : large_icon_(GDK_PIXBUF(g_object_ref(largeIcon))) {
  window_ = gtk_window_new(GTK_WINDOW_TOPLEVEL);
  g_object_ref(window_);  // the pointer stays valid after the window is destroyed
  gtk_window_set_title(GTK_WINDOW(window_), text::kCaption);
  gtk_window_set_resizable(GTK_WINDOW(window_), FALSE);
  gtk_window_set_position(GTK_WINDOW(window_), GTK_WIN_POS_CENTER);

  GtkWidget* bar = gtk_menu_bar_new();
  fast_answers_ = Item(gtk_check_menu_item_new_with_mnemonic(text::kFastAnswersItem), G_CALLBACK(OnFastAnswers), this);
  file_menu_ = MenuWithItems(bar, text::kFileMenu,
                             {fast_answers_, gtk_separator_menu_item_new(),
                              Item(gtk_menu_item_new_with_mnemonic(text::kExitItem), G_CALLBACK(OnExit), this)});
  MenuWithItems(bar, text::kHelpMenu,
                {Item(gtk_menu_item_new_with_mnemonic(text::kAboutItem), G_CALLBACK(OnAboutItem), this)});

  password_ = gtk_entry_new();
  gtk_entry_set_visibility(GTK_ENTRY(password_), FALSE);
  gtk_entry_set_width_chars(GTK_ENTRY(password_), kPasswordChars);
  gtk_entry_set_activates_default(GTK_ENTRY(password_), TRUE);  // Return presses the default button
  // A pasted line break ends the text, as in a single-line edit control; the settings file
  // keeps one password per line.
  g_object_set(password_, "truncate-multiline", TRUE, nullptr);
  g_signal_connect(password_, "insert-text", G_CALLBACK(OnPasswordInsert), nullptr);

  button_ = gtk_button_new_with_label(kStartText);
  gtk_widget_set_can_default(button_, TRUE);
  gtk_widget_set_valign(button_, GTK_ALIGN_CENTER);
  gtk_widget_set_halign(button_, GTK_ALIGN_CENTER);
  gtk_widget_set_hexpand(button_, TRUE);
  g_signal_connect(button_, "clicked", G_CALLBACK(OnButton), this);

  run_on_startup_ = gtk_check_button_new_with_label(text::kRunOnStartup);

  GtkWidget* log = gtk_text_view_new();
  gtk_text_view_set_editable(GTK_TEXT_VIEW(log), FALSE);
  gtk_text_view_set_wrap_mode(GTK_TEXT_VIEW(log), GTK_WRAP_NONE);
  GtkWidget* scroller = gtk_scrolled_window_new(nullptr, nullptr);
  gtk_scrolled_window_set_policy(GTK_SCROLLED_WINDOW(scroller), GTK_POLICY_AUTOMATIC, GTK_POLICY_ALWAYS);
  gtk_scrolled_window_set_shadow_type(GTK_SCROLLED_WINDOW(scroller), GTK_SHADOW_IN);
  gtk_widget_set_size_request(scroller, kLogWidth, kLogHeight);
  gtk_container_add(GTK_CONTAINER(scroller), log);
  pane_ = new TextViewLogPane(GTK_TEXT_VIEW(log));

  GtkWidget* grid = gtk_grid_new();
  gtk_grid_set_row_spacing(GTK_GRID(grid), 4);
  gtk_grid_set_column_spacing(GTK_GRID(grid), 12);
  g_object_set(grid, "margin", kMargin, nullptr);
  gtk_grid_attach(GTK_GRID(grid), Label(text::kPasswordLabel, 0.0f), 0, 0, 1, 1);
  gtk_grid_attach(GTK_GRID(grid), password_, 0, 1, 1, 1);
  gtk_grid_attach(GTK_GRID(grid), button_, 1, 0, 1, 2);
  gtk_grid_attach(GTK_GRID(grid), run_on_startup_, 0, 2, 1, 1);
  gtk_grid_attach(GTK_GRID(grid), scroller, 0, 3, 2, 1);

  GtkWidget* box = gtk_box_new(GTK_ORIENTATION_VERTICAL, 0);
  gtk_box_pack_start(GTK_BOX(box), bar, FALSE, FALSE, 0);
  gtk_box_pack_start(GTK_BOX(box), grid, TRUE, TRUE, 0);
  gtk_container_add(GTK_CONTAINER(window_), box);
  gtk_widget_grab_default(button_);

  // Alt+"/" and Alt+"?" open the About box whichever control has the focus.
  GtkAccelGroup* accelerators = gtk_accel_group_new();
  for (guint key : {GDK_KEY_slash, GDK_KEY_question}) {
    gtk_accel_group_connect(accelerators, key, GDK_MOD1_MASK, GtkAccelFlags(0),
                            g_cclosure_new(G_CALLBACK(OnAboutKey), this, nullptr));
  }
  gtk_window_add_accel_group(GTK_WINDOW(window_), accelerators);
  g_object_unref(accelerators);

  // A fixed frame with a minimise box and a close box, as the dialog has: no maximise.
  gtk_widget_realize(window_);
  gdk_window_set_functions(gtk_widget_get_window(window_),
                           GdkWMFunction(GDK_FUNC_MOVE | GDK_FUNC_MINIMIZE | GDK_FUNC_CLOSE));

  g_signal_connect(window_, "draw", G_CALLBACK(OnDraw), this);
  g_signal_connect(window_, "delete-event", G_CALLBACK(OnDelete), this);
  g_signal_connect(window_, "destroy", G_CALLBACK(OnDestroyed), this);
}

GtkServerWindow::~GtkServerWindow() {
  delete pane_;
  if (!destroying_) {
    destroying_ = true;
    gtk_widget_destroy(window_);
  }
  g_object_unref(window_);
  g_object_unref(large_icon_);
}

bool GtkServerWindow::TakeQuit(int* code) {
  if (!quit_posted_) return false;
  quit_posted_ = false;
  *code = quit_code_;
  return true;
}

void GtkServerWindow::RequestExit() {
  exit_requested_ = true;
  if (about_ != nullptr) gtk_dialog_response(about_, GTK_RESPONSE_CANCEL);
}

void GtkServerWindow::ActOnExitRequest() {
  if (!exit_requested_ || about_ != nullptr) return;
  exit_requested_ = false;
  if (destroying_) return;
  Command(ids::kExit);
}

std::string GtkServerWindow::PasswordText() {
  // The box takes Latin-1 characters only, at most 15 of them: one byte each on the wire.
  return Utf8ToLatin1(gtk_entry_get_text(GTK_ENTRY(password_))).value_or(std::string()).substr(0, wire::kMaxPassword);
}

void GtkServerWindow::SetPasswordText(const std::string& text) {
  gtk_entry_set_text(GTK_ENTRY(password_), Latin1ToUtf8(text.substr(0, text.find('\0'))).c_str());
}

void GtkServerWindow::OnPasswordInsert(GtkEditable* box, gchar* text, gint length, gint*, gpointer) {
  // What is typed must be what a client sends: a character with no Latin-1 byte is refused
  // rather than changed or dropped from the password unseen.
  const std::string typed = length < 0 ? std::string(text) : std::string(text, static_cast<std::size_t>(length));
  if (!Utf8ToLatin1(typed)) {
    g_signal_stop_emission_by_name(box, "insert-text");
    gtk_widget_error_bell(GTK_WIDGET(box));
  }
}

void GtkServerWindow::SetPasswordReadOnly(bool readOnly) {
  gtk_editable_set_editable(GTK_EDITABLE(password_), readOnly ? FALSE : TRUE);
}

void GtkServerWindow::SetButtonText(const char* text) { gtk_button_set_label(GTK_BUTTON(button_), text); }

bool GtkServerWindow::RunOnStartupChecked() {
  return gtk_toggle_button_get_active(GTK_TOGGLE_BUTTON(run_on_startup_)) != FALSE;
}

void GtkServerWindow::SetRunOnStartup(bool checked) {
  gtk_toggle_button_set_active(GTK_TOGGLE_BUTTON(run_on_startup_), checked ? TRUE : FALSE);
}

bool GtkServerWindow::FastAnswersChecked() {
  return gtk_check_menu_item_get_active(GTK_CHECK_MENU_ITEM(fast_answers_)) != FALSE;
}

void GtkServerWindow::SetFastAnswers(bool checked) {
  gtk_check_menu_item_set_active(GTK_CHECK_MENU_ITEM(fast_answers_), checked ? TRUE : FALSE);
}

void GtkServerWindow::Wait(int ms) {
  const std::int64_t end = g_get_monotonic_time() + static_cast<std::int64_t>(ms) * 1000;
  // A Wayland window reaches the screen only with its first frame, which GTK draws from the
  // main loop: until then the loop runs (no input can reach a window not yet on the screen).
  if (!GDK_IS_X11_DISPLAY(gtk_widget_get_display(window_)) && gtk_widget_get_visible(window_)) {
    bool timedOut = false;
    const guint timer = g_timeout_add(static_cast<guint>(ms), OnWaitOver, &timedOut);
    while (!drawn_ && !timedOut) g_main_context_iteration(nullptr, TRUE);
    if (!timedOut) g_source_remove(timer);
  }
  gdk_display_flush(gtk_widget_get_display(window_));  // what was asked so far reaches the screen
  const std::int64_t left = end - g_get_monotonic_time();
  if (left > 0) g_usleep(static_cast<gulong>(left));
}

gboolean GtkServerWindow::OnWaitOver(gpointer timedOut) {
  *static_cast<bool*>(timedOut) = true;
  return G_SOURCE_REMOVE;
}

gboolean GtkServerWindow::OnDraw(GtkWidget*, cairo_t*, gpointer self) {
  static_cast<GtkServerWindow*>(self)->drawn_ = true;
  return FALSE;
}

void GtkServerWindow::Minimize() {
  gtk_window_iconify(GTK_WINDOW(window_));
  // A Wayland compositor never tells a client it is minimised (and may not minimise at all):
  // the request itself stands for the state, so that the window still goes to the tray.
  if (!GDK_IS_X11_DISPLAY(gtk_widget_get_display(window_))) minimized_here_ = true;
}

bool GtkServerWindow::IsMinimized() {
  if (!GDK_IS_X11_DISPLAY(gtk_widget_get_display(window_))) return minimized_here_;
  // The window manager's answer, which arrives a few events after the request; with no window
  // manager a window is never minimised.
  GdkWindow* w = gtk_widget_get_window(window_);
  return w != nullptr && (gdk_window_get_state(w) & GDK_WINDOW_STATE_ICONIFIED) != 0;
}

void GtkServerWindow::Hide() { gtk_widget_hide(window_); }

void GtkServerWindow::ShowDefault() {
  if (destroying_) return;
  minimized_here_ = false;
  // Without this a window hidden while minimised would be mapped minimised again.
  gtk_window_deiconify(GTK_WINDOW(window_));
  gtk_widget_show(window_);
}

void GtkServerWindow::BringToTop() {
  if (destroying_) return;
  minimized_here_ = false;
  gtk_window_present(GTK_WINDOW(window_));
}

void GtkServerWindow::ShowAbout() {
  GtkWidget* about = gtk_dialog_new_with_buttons(text::kAboutCaption, GTK_WINDOW(window_), GTK_DIALOG_MODAL,
                                                 text::kAboutOk, GTK_RESPONSE_OK, nullptr);
  gtk_window_set_resizable(GTK_WINDOW(about), FALSE);
  gtk_window_set_position(GTK_WINDOW(about), GTK_WIN_POS_CENTER_ON_PARENT);
  gtk_dialog_set_default_response(GTK_DIALOG(about), GTK_RESPONSE_OK);

  GtkWidget* grid = gtk_grid_new();
  gtk_grid_set_column_spacing(GTK_GRID(grid), 12);
  gtk_grid_set_row_spacing(GTK_GRID(grid), 4);
  g_object_set(grid, "margin", kMargin, nullptr);
  gtk_grid_attach(GTK_GRID(grid), gtk_image_new_from_pixbuf(large_icon_), 0, 0, 1, 2);
  gtk_grid_attach(GTK_GRID(grid), Label(text::kAboutVersion, 0.0f), 1, 0, 1, 1);
  gtk_grid_attach(GTK_GRID(grid), Label(text::kAboutCredit, 0.0f), 1, 1, 1, 1);
  gtk_grid_attach(GTK_GRID(grid), Label(text::kAboutLine1, 0.5f), 0, 2, 2, 1);
  gtk_grid_attach(GTK_GRID(grid), Label(text::kAboutLine2, 0.5f), 0, 3, 2, 1);
  gtk_container_add(GTK_CONTAINER(gtk_dialog_get_content_area(GTK_DIALOG(about))), grid);
  gtk_widget_show_all(about);

  // Its own loop runs until OK, Escape or the close box; the server waits meanwhile.
  about_ = GTK_DIALOG(about);
  if (!exit_requested_) gtk_dialog_run(about_);
  about_ = nullptr;
  gtk_widget_destroy(about);
}

void GtkServerWindow::DestroyWindow() {
  // The destruction steps run again inside "destroy"; the window goes only once.
  if (destroying_) return;
  destroying_ = true;
  gtk_widget_destroy(window_);
}

void GtkServerWindow::PostQuit(int code) {
  if (quit_posted_) return;  // the first quit ends the loop, as the first WM_QUIT would
  quit_posted_ = true;
  quit_code_ = code;
}

void GtkServerWindow::Command(int id) {
  if (server_window_ != nullptr) server_window_->OnCommand(id);
}

void GtkServerWindow::OnButton(GtkButton*, gpointer self) {
  static_cast<GtkServerWindow*>(self)->Command(ids::kStartButton);
}

void GtkServerWindow::OnExit(GtkMenuItem*, gpointer self) { static_cast<GtkServerWindow*>(self)->Command(ids::kExit); }

void GtkServerWindow::OnFastAnswers(GtkMenuItem*, gpointer self) {
  // The item has turned its check mark already; the window's command sets it to the same.
  static_cast<GtkServerWindow*>(self)->Command(ids::kFastAnswers);
}

void GtkServerWindow::OnAboutItem(GtkMenuItem*, gpointer self) {
  static_cast<GtkServerWindow*>(self)->Command(ids::kAbout);
}

gboolean GtkServerWindow::OnAboutKey(GtkAccelGroup*, GObject*, guint, GdkModifierType, gpointer self) {
  static_cast<GtkServerWindow*>(self)->Command(ids::kAbout);
  return TRUE;
}

gboolean GtkServerWindow::OnDelete(GtkWidget*, GdkEvent*, gpointer self) {
  auto* me = static_cast<GtkServerWindow*>(self);
  if (me->server_window_ != nullptr) {
    me->server_window_->OnClose();
  } else {
    me->DestroyWindow();
  }
  return TRUE;  // the window goes by OnClose's own steps, not by GTK's default
}

void GtkServerWindow::OnDestroyed(GtkWidget*, gpointer self) {
  auto* me = static_cast<GtkServerWindow*>(self);
  me->destroying_ = true;
  if (me->server_window_ != nullptr) me->server_window_->OnDestroy();
}

// A source of GTK's main context that stands for the network: it watches the socket when
// the server asks for it, and its time-out is the server's next deadline.
struct GtkMessagePump::NetworkSource {
  GSource base;
  GPollFD poll;
  std::int64_t deadline;  // g_get_monotonic_time() at which it is due; -1: none
  bool readable;

  static gboolean Prepare(GSource* source, gint* timeout) {
    auto* self = reinterpret_cast<NetworkSource*>(source);
    if (self->deadline < 0) {
      *timeout = -1;
      return FALSE;
    }
    const std::int64_t left = self->deadline - g_get_monotonic_time();
    *timeout = left <= 0 ? 0 : static_cast<gint>(std::min<std::int64_t>((left + 999) / 1000, G_MAXINT));
    return left <= 0;
  }
  static gboolean Check(GSource* source) {
    auto* self = reinterpret_cast<NetworkSource*>(source);
    self->readable = (self->poll.revents & (G_IO_IN | G_IO_ERR | G_IO_HUP)) != 0;
    return self->readable || (self->deadline >= 0 && g_get_monotonic_time() >= self->deadline);
  }
  static gboolean Dispatch(GSource* source, GSourceFunc, gpointer) {
    // Nothing to call: the main loop serves the network once the iteration returns.
    reinterpret_cast<NetworkSource*>(source)->deadline = -1;
    return G_SOURCE_CONTINUE;
  }
};

GtkMessagePump::GtkMessagePump(GtkServerWindow& window, std::function<int()> socketFd)
    : window_(window), socket_fd_(std::move(socketFd)) {
  static GSourceFuncs funcs = {NetworkSource::Prepare, NetworkSource::Check, NetworkSource::Dispatch, nullptr,
                               nullptr, nullptr};
  source_ = reinterpret_cast<NetworkSource*>(g_source_new(&funcs, sizeof(NetworkSource)));
  source_->poll.fd = -1;
  source_->poll.events = 0;
  source_->deadline = -1;
  source_->readable = false;
  g_source_attach(&source_->base, nullptr);
}

GtkMessagePump::~GtkMessagePump() {
  g_source_destroy(&source_->base);
  g_source_unref(&source_->base);
}

bool GtkMessagePump::WaitForWork(const StreamServer::Wait& wait, bool* readable, int* exitCode) {
  window_.ActOnExitRequest();
  if (window_.TakeQuit(exitCode)) return true;
  const int fd = socket_fd_();
  if (fd != source_->poll.fd) {
    // The context keeps its descriptors in order: a new socket is added anew.
    if (source_->poll.fd >= 0) g_source_remove_poll(&source_->base, &source_->poll);
    source_->poll.fd = fd;
    if (fd >= 0) g_source_add_poll(&source_->base, &source_->poll);
  }
  source_->poll.events = wait.socket && fd >= 0 ? G_IO_IN : 0;
  source_->poll.revents = 0;
  source_->readable = false;
  source_->deadline = wait.timeoutMicros < 0 ? -1 : g_get_monotonic_time() + wait.timeoutMicros;
  g_main_context_iteration(nullptr, TRUE);  // sleeps until there is work
  *readable = source_->readable;
  window_.ActOnExitRequest();
  return window_.TakeQuit(exitCode);
}

}  // namespace ravelo
