#include "app/win32/dialog_window.h"

#include "resources/resource.h"

namespace ravelo {
namespace {

ServerWindow* g_window = nullptr;
StartAtLoginItem* g_start_at_login = nullptr;
static_assert(IDM_START_AT_LOGIN == kStartAtLoginCommand, "the menu's id in resources/resource.h");

INT_PTR CALLBACK AboutProc(HWND dialog, UINT message, WPARAM wParam, LPARAM) {
  if (message == WM_INITDIALOG) return TRUE;
  if (message == WM_COMMAND && (LOWORD(wParam) == IDOK || LOWORD(wParam) == IDCANCEL)) {
    EndDialog(dialog, LOWORD(wParam));
    return TRUE;
  }
  return FALSE;
}

}  // namespace

int EditLogPane::LineCount() {
  return static_cast<int>(SendMessageA(edit_, EM_GETLINECOUNT, 0, 0));
}

void EditLogPane::SetSelection(int start, int end) {
  SendMessageA(edit_, EM_SETSEL, static_cast<WPARAM>(start), static_cast<LPARAM>(end));
}

void EditLogPane::ReplaceSelection(const char* text) {
  SendMessageA(edit_, EM_REPLACESEL, FALSE, reinterpret_cast<LPARAM>(text));
}

std::string DialogControls::PasswordText() {
  char text[wire::kMaxPassword + 1] = {};
  GetDlgItemTextA(dialog_, IDC_PASSWORD, text, sizeof text);
  return text;
}

void DialogControls::SetPasswordText(const std::string& text) {
  SetDlgItemTextA(dialog_, IDC_PASSWORD, text.c_str());
}

void DialogControls::SetPasswordReadOnly(bool readOnly) {
  SendDlgItemMessageA(dialog_, IDC_PASSWORD, EM_SETREADONLY, readOnly ? TRUE : FALSE, 0);
}

void DialogControls::SetButtonText(const char* text) { SetDlgItemTextA(dialog_, IDC_START, text); }

bool DialogControls::RunOnStartupChecked() {
  return IsDlgButtonChecked(dialog_, IDC_RUN_ON_STARTUP) == BST_CHECKED;
}

void DialogControls::SetRunOnStartup(bool checked) {
  CheckDlgButton(dialog_, IDC_RUN_ON_STARTUP, checked ? BST_CHECKED : BST_UNCHECKED);
}

bool DialogControls::FastAnswersChecked() {
  return (GetMenuState(GetMenu(dialog_), IDM_FAST_ANSWERS, MF_BYCOMMAND) & MF_CHECKED) != 0;
}

void DialogControls::SetFastAnswers(bool checked) {
  CheckMenuItem(GetMenu(dialog_), IDM_FAST_ANSWERS, MF_BYCOMMAND | (checked ? MF_CHECKED : MF_UNCHECKED));
}

void DialogControls::Wait(int ms) { Sleep(static_cast<DWORD>(ms)); }

void DialogControls::Minimize() { ShowWindow(dialog_, SW_MINIMIZE); }

bool DialogControls::IsMinimized() { return IsIconic(dialog_) != FALSE; }

void DialogControls::Hide() { ShowWindow(dialog_, SW_HIDE); }

void DialogControls::ShowDefault() { ShowWindow(dialog_, SW_SHOWDEFAULT); }

void DialogControls::BringToTop() { BringWindowToTop(dialog_); }

void DialogControls::ShowAbout() {
  DialogBoxParamA(instance_, MAKEINTRESOURCEA(IDD_ABOUT), dialog_, AboutProc, 0);
}

void DialogControls::DestroyWindow() {
  // The destruction steps run again inside WM_DESTROY; the window goes only once.
  if (destroying_) return;
  destroying_ = true;
  ::DestroyWindow(dialog_);
}

void DialogControls::PostQuit(int code) { PostQuitMessage(code); }

bool DialogMessagePump::HandleOneMessage(int* exitCode) {
  MSG msg;
  if (!PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE)) return false;
  if (msg.message == WM_QUIT) {
    *exitCode = static_cast<int>(msg.wParam);
    return true;
  }
  // Accelerators go to the server window whichever control has the focus.
  if (TranslateAcceleratorA(dialog_, accelerators_, &msg)) return false;
  if (IsWindow(dialog_) && IsDialogMessageA(dialog_, &msg)) return false;
  TranslateMessage(&msg);
  DispatchMessageA(&msg);
  return false;
}

bool DialogMessagePump::WaitForWork(const StreamServer::Wait& wait, bool* readable, int* exitCode) {
  HANDLE event = wait.socket ? socket_.ReadEvent() : nullptr;
  DWORD timeout = wait.timeoutMicros < 0 ? INFINITE : static_cast<DWORD>((wait.timeoutMicros + 999) / 1000);
  // Without an event to wait on, the socket is looked at every pass, as the old loop did.
  const bool polled = wait.socket && event == nullptr;
  if (polled && timeout > 5) timeout = 5;
  // MWMO_INPUTAVAILABLE: messages already in the queue count too, not only new ones.
  const DWORD woke = MsgWaitForMultipleObjectsEx(event != nullptr ? 1 : 0, event != nullptr ? &event : nullptr,
                                                 timeout, QS_ALLINPUT, MWMO_INPUTAVAILABLE | MWMO_ALERTABLE);
  if (event != nullptr && woke == WAIT_OBJECT_0) {
    // Reset before the reads: a datagram that arrives after them sets the event again.
    socket_.ResetReadEvent();
    *readable = true;
  }
  *readable = *readable || polled;
  return HandleOneMessage(exitCode);
}

void AttachServerWindow(ServerWindow* window) { g_window = window; }

void AttachStartAtLogin(StartAtLoginItem* item) { g_start_at_login = item; }

INT_PTR CALLBACK ServerDialogProc(HWND, UINT message, WPARAM wParam, LPARAM lParam) {
  if (g_start_at_login != nullptr) {
    if (message == WM_INITMENUPOPUP) {  // any tool may have changed the entry since the last look
      CheckMenuItem(reinterpret_cast<HMENU>(wParam), IDM_START_AT_LOGIN,
                    MF_BYCOMMAND | (g_start_at_login->Checked() ? MF_CHECKED : MF_UNCHECKED));
    } else if (message == WM_COMMAND && LOWORD(wParam) == IDM_START_AT_LOGIN) {
      g_start_at_login->Toggle();
      return TRUE;
    }
  }
  if (g_window != nullptr) {
    switch (message) {
      case WM_COMMAND:
        g_window->OnCommand(LOWORD(wParam));
        break;
      case ids::kTrayMessage:
        g_window->OnTrayNotify(static_cast<unsigned>(lParam));
        break;
      case WM_CLOSE:
        g_window->OnClose();
        break;
      case WM_DESTROY:
        g_window->OnDestroy();
        break;
      default:
        break;
    }
  }
  return FALSE;  // the default dialog processing always runs as well
}

}  // namespace ravelo
