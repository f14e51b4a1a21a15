// The server window as a Win32 modeless dialog, and the main loop's message pump.
#pragma once

#include <windows.h>

#include <memory>

#include "app/autostart.h"
#include "app/shell.h"
#include "wire/win32/winsock_layer.h"

namespace ravelo {

// The log pane: the dialog's multi-line edit control.
class EditLogPane : public LogPane {
 public:
  explicit EditLogPane(HWND edit) : edit_(edit) {}
  int LineCount() override;
  void SetSelection(int start, int end) override;
  void ReplaceSelection(const char* text) override;

 private:
  HWND edit_;
};

class DialogControls : public WindowControls {
 public:
  DialogControls(HINSTANCE instance, HWND dialog) : instance_(instance), dialog_(dialog) {}
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
  HINSTANCE instance_;
  HWND dialog_;
  bool destroying_ = false;
};

class DialogMessagePump : public MessagePump {
 public:
  DialogMessagePump(HWND dialog, HACCEL accelerators, WinsockLayer& socket)
      : dialog_(dialog), accelerators_(accelerators), socket_(socket) {}
  // Waits on the socket's event and the message queue at once, then handles at most one message.
  bool WaitForWork(const StreamServer::Wait& wait, bool* readable, int* exitCode) override;

 private:
  bool HandleOneMessage(int* exitCode);

  HWND dialog_;
  HACCEL accelerators_;
  WinsockLayer& socket_;
};

// The dialog procedure of the server window; it forwards to `window` once that exists.
INT_PTR CALLBACK ServerDialogProc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam);
void AttachServerWindow(ServerWindow* window);
// The File menu's "Start at login" (app/autostart.h) from now on; null: none.
void AttachStartAtLogin(StartAtLoginItem* item);

}  // namespace ravelo
