// The application shell: the server window's logic and the main loop, over small seams
// that the Win32 entry point fills with the real dialog and message queue.
#pragma once

#include <string>

#include "app/status_log.h"
#include "server/stream_server.h"

namespace ravelo {

// Command and control ids of the server window's resources.
namespace ids {
constexpr int kLogPane = 1001;
constexpr int kStartButton = 1002;
constexpr int kPasswordBox = 1003;
constexpr int kRunOnStartup = 1005;
constexpr int kAbout = 104;
constexpr int kExit = 105;
constexpr int kFastAnswers = 106;
constexpr int kTrayMessage = 100;  // the bare number, not an offset into WM_APP
constexpr int kTrayIcon = 133;
}  // namespace ids

constexpr const char kStartText[] = "Start Server";
constexpr const char kStoredPasswordNotStarted[] =
    "The stored password could not be used; the server was not started and Run on Startup is off.";
constexpr const char kStopText[] = "Stop Server";
constexpr int kMinimizeDelayMs = 1000;  // lets the user see the start before the window goes

// The controls and actions of the server window.
class WindowControls {
 public:
  virtual ~WindowControls() = default;
  virtual std::string PasswordText() = 0;  // at most 15 characters
  virtual void SetPasswordText(const std::string& text) = 0;
  virtual void SetPasswordReadOnly(bool readOnly) = 0;
  virtual void SetButtonText(const char* text) = 0;
  virtual bool RunOnStartupChecked() = 0;
  virtual void SetRunOnStartup(bool checked) = 0;
  // The "Fast answers" item of the window's menu.
  virtual bool FastAnswersChecked() = 0;
  virtual void SetFastAnswers(bool checked) = 0;
  virtual void Wait(int ms) = 0;  // the whole program waits
  virtual void Minimize() = 0;
  virtual bool IsMinimized() = 0;
  virtual void Hide() = 0;
  virtual void ShowDefault() = 0;  // in the show state the program was started with
  virtual void BringToTop() = 0;
  virtual void ShowAbout() = 0;  // modal
  virtual void DestroyWindow() = 0;
  virtual void PostQuit(int code) = 0;
};

// The notification-area icon and the settings store (tray_icon.h, settings_store.h).
class TrayIcon {
 public:
  virtual ~TrayIcon() = default;
  virtual bool InTray() const = 0;
  virtual void HideToTray() = 0;
  virtual void RestoreFromTray() = 0;
};

// What loading found of a stored password.
enum class StoredPassword { kNone, kLoaded, kRejected };

class SettingsStore {
 public:
  virtual ~SettingsStore() = default;
  virtual StoredPassword LoadSettings(WindowControls& window) = 0;
  virtual void SaveSettings(WindowControls& window) = 0;
};

// What the window procedure does with its messages.
class ServerWindow {
 public:
  ServerWindow(StreamServer& server, WindowControls& controls, TrayIcon& tray,
               SettingsStore& settings, StatusLog& log)
      : server_(server), controls_(controls), tray_(tray), settings_(settings), log_(log) {}

  // At start-up, after the settings were loaded: serves when "Run on Startup" is checked,
  // unless a stored password could not be used.
  void StartAtLaunch(StoredPassword stored);
  void StartFromWindow();
  void StopFromWindow();

  void OnCommand(int id);
  // `mouseMessage` is the mouse event the tray notification carries.
  void OnTrayNotify(unsigned mouseMessage);
  void OnClose();
  void OnDestroy();

  static constexpr unsigned kLeftDoubleClick = 0x0203;  // WM_LBUTTONDBLCLK

 private:
  StreamServer& server_;
  WindowControls& controls_;
  TrayIcon& tray_;
  SettingsStore& settings_;
  StatusLog& log_;
};

// The main loop's access to the window system and the socket.
class MessagePump {
 public:
  virtual ~MessagePump() = default;
  // Sleeps until there is work: a window message, a datagram on the socket when `wait.socket`
  // is set, or the end of `wait.timeoutMicros` (-1: no limit). Handles the window messages that
  // came and sets `*readable` when the socket has a datagram. Returns true at the quit message
  // and puts its code in `exitCode`.
  virtual bool WaitForWork(const StreamServer::Wait& wait, bool* readable, int* exitCode) = 0;
};

// Runs until the quit message and returns its code. Each round moves a minimised window to the
// tray, sleeps until there is work, and lets the server serve the network when its time has
// come; with no client and nothing arriving the program does not wake at all.
int RunMainLoop(StreamServer& server, WindowControls& window, TrayIcon& tray, MessagePump& pump);

}  // namespace ravelo
