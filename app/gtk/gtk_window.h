// The server window in GTK 3: the same controls, texts and behaviour as the Windows dialog,
// and the main loop's access to GTK's event queue.
#pragma once

#include <gtk/gtk.h>

#include <functional>
#include <string>

#include "app/shell.h"
#include "app/status_log.h"

namespace ravelo {

// What an edit control reports as its line count: one more than its "\r\n" pairs.
int EditControlLineCount(const char* text);

// The log pane: a read-only GtkTextView. The pane keeps its buffer, so a line logged while
// the window is being destroyed still has somewhere to go.
class TextViewLogPane : public LogPane {
 public:
  explicit TextViewLogPane(GtkTextView* view);
  ~TextViewLogPane() override;
  TextViewLogPane(const TextViewLogPane&) = delete;
  TextViewLogPane& operator=(const TextViewLogPane&) = delete;

  int LineCount() override;
  void SetSelection(int start, int end) override;
  void ReplaceSelection(const char* text) override;

 private:
  void ScrollToCaret();

  GtkTextView* view_;  // cleared when the view goes
  GtkTextBuffer* buffer_;
  // The selection as the edit control would hold it. The buffer's own marks may stand one
  // character later: GTK cannot show a cursor inside a \r\n pair, where a cut can fall.
  int selection_start_ = 0;
  int selection_end_ = 0;
};

class GtkServerWindow : public WindowControls {
 public:
  // The window, built but not shown; `largeIcon` also goes into the About box.
  explicit GtkServerWindow(GdkPixbuf* largeIcon);
  ~GtkServerWindow() override;
  GtkServerWindow(const GtkServerWindow&) = delete;
  GtkServerWindow& operator=(const GtkServerWindow&) = delete;

  GtkWindow* Window() const { return GTK_WINDOW(window_); }
  GtkEntry* PasswordBox() const { return GTK_ENTRY(password_); }
  LogPane& Pane() { return *pane_; }
  GtkMenuShell* FileMenu() const { return GTK_MENU_SHELL(file_menu_); }
  // Button, menu, accelerator, close and destroy go to `window` from now on (null: nowhere).
  void Attach(ServerWindow* window) { server_window_ = window; }
  // The quit code once PostQuit has been called; taken once.
  bool TakeQuit(int* code);
  // Asks to leave as File > Exit does, from outside (a signal); an open About box is closed
  // first. Acted on by ActOnExitRequest, from the main loop.
  void RequestExit();
  void ActOnExitRequest();

  std::string PasswordText() override;
  void SetPasswordText(const std::string& text) override;
  void SetPasswordReadOnly(bool readOnly) override;
  void SetButtonText(const char* text) override;
  bool RunOnStartupChecked() override;
  void SetRunOnStartup(bool checked) override;
  bool FastAnswersChecked() override;
  void SetFastAnswers(bool checked) override;
  void Wait(int ms) override;
  void Minimize() override;
  bool IsMinimized() override;
  void Hide() override;
  void ShowDefault() override;
  void BringToTop() override;
  void ShowAbout() override;
  void DestroyWindow() override;
  void PostQuit(int code) override;

 private:
  static void OnPasswordInsert(GtkEditable* box, gchar* text, gint length, gint* position, gpointer);
  static void OnButton(GtkButton*, gpointer self);
  static void OnExit(GtkMenuItem*, gpointer self);
  static void OnFastAnswers(GtkMenuItem*, gpointer self);
  static void OnAboutItem(GtkMenuItem*, gpointer self);
  static gboolean OnAboutKey(GtkAccelGroup*, GObject*, guint, GdkModifierType, gpointer self);
  static gboolean OnDelete(GtkWidget*, GdkEvent*, gpointer self);
  static gboolean OnDraw(GtkWidget*, cairo_t*, gpointer self);
  static gboolean OnWaitOver(gpointer timedOut);
  static void OnDestroyed(GtkWidget*, gpointer self);
  void Command(int id);

  GtkWidget* window_;
  GtkWidget* password_;
  GtkWidget* button_;
  GtkWidget* run_on_startup_;
  GtkWidget* fast_answers_;
  GtkWidget* file_menu_;
  GdkPixbuf* large_icon_;
  TextViewLogPane* pane_;
  ServerWindow* server_window_ = nullptr;
  bool destroying_ = false;
  bool minimized_here_ = false;
  bool drawn_ = false;  // the window has drawn a frame  // by Minimize, where the window system does not report it (Wayland)
  bool exit_requested_ = false;
  GtkDialog* about_ = nullptr;  // while the About box runs
  bool quit_posted_ = false;
  int quit_code_ = 0;
};

class GtkMessagePump : public MessagePump {
 public:
  // `socketFd()` gives the server's socket, or -1 while it has none.
  GtkMessagePump(GtkServerWindow& window, std::function<int()> socketFd);
  ~GtkMessagePump() override;
  GtkMessagePump(const GtkMessagePump&) = delete;
  GtkMessagePump& operator=(const GtkMessagePump&) = delete;
  // One iteration of GTK's main context, with the socket and the server's deadline in it.
  bool WaitForWork(const StreamServer::Wait& wait, bool* readable, int* exitCode) override;

 private:
  struct NetworkSource;
  GtkServerWindow& window_;
  std::function<int()> socket_fd_;
  NetworkSource* source_;
};

}  // namespace ravelo
