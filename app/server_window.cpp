#include "app/shell.h"

namespace ravelo {

void ServerWindow::StartAtLaunch(StoredPassword stored) {
  server_.SetFastAnswers(controls_.FastAnswersChecked());
  if (!controls_.RunOnStartupChecked()) return;
  if (stored == StoredPassword::kRejected) {
    // The box is empty: starting would serve with no password, and saving the window as it
    // stands would store just that for every later start.
    controls_.SetRunOnStartup(false);
    log_.LogMessage(kStoredPasswordNotStarted);
    return;
  }
  StartFromWindow();
}

void ServerWindow::StartFromWindow() {
  if (!server_.StartServer(controls_.PasswordText())) return;  // the log says why
  controls_.SetPasswordReadOnly(true);
  controls_.SetButtonText(kStopText);
  controls_.Wait(kMinimizeDelayMs);
  controls_.Minimize();  // the next loop pass moves it to the tray
}

void ServerWindow::StopFromWindow() {
  server_.StopServer();
  controls_.SetPasswordReadOnly(false);
  controls_.SetButtonText(kStartText);
}

void ServerWindow::OnCommand(int id) {
  switch (id) {
    case ids::kStartButton:
      if (server_.IsRunning()) {
        StopFromWindow();
      } else {
        StartFromWindow();
      }
      break;
    case ids::kAbout:
      // The box's own loop holds the program; its time is no silence of the client's.
      server_.PauseClock();
      controls_.ShowAbout();
      server_.ResumeClock();
      break;
    case ids::kFastAnswers: {
      const bool fast = !server_.FastAnswers();
      server_.SetFastAnswers(fast);
      controls_.SetFastAnswers(fast);
      break;
    }
    case ids::kExit:
      controls_.DestroyWindow();  // leaving this way does not save the settings
      break;
    default:
      break;
  }
}

void ServerWindow::OnTrayNotify(unsigned mouseMessage) {
  if (mouseMessage == kLeftDoubleClick) tray_.RestoreFromTray();
}

void ServerWindow::OnClose() {
  settings_.SaveSettings(controls_);
  OnDestroy();
}

void ServerWindow::OnDestroy() {
  server_.StopServer();
  tray_.RestoreFromTray();
  controls_.DestroyWindow();
  controls_.PostQuit(0);
}

int RunMainLoop(StreamServer& server, WindowControls& window, TrayIcon& tray, MessagePump& pump) {
  for (;;) {
    if (!tray.InTray() && window.IsMinimized()) tray.HideToTray();
    bool readable = false;
    int code = 0;
    const bool quit = pump.WaitForWork(server.NextWait(), &readable, &code);
    if (quit) return code;
    server.Serve(readable);
  }
}

}  // namespace ravelo
