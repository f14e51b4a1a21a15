// "Start at login": an entry the user's session reads when it starts (the Run key on Windows,
// an XDG autostart file on Linux), the window's menu item over it and the --autostart option.
// Together with "Run on Startup" it brings the server up after a reboot with no one at the machine.
#pragma once

#include <memory>
#include <string>

#include "app/settings_store.h"
#include "app/status_log.h"

namespace ravelo {

class SessionAutostart {
 public:
  virtual ~SessionAutostart() = default;
  // Read anew each time: another tool (the system's own settings, a script) may change it.
  virtual bool IsEnabled() = 0;
  // Writes or removes the entry; false, with the reason in `problem`, when that failed.
  virtual bool SetEnabled(bool enabled, std::string* problem) = 0;
};

// The platform's entry, starting this very program (ravelo.exe's or ravelo's own path).
std::unique_ptr<SessionAutostart> MakeSessionAutostart();

constexpr char kRunKeyParent[] = "Software\\Microsoft\\Windows\\CurrentVersion\\";
constexpr char kRunKey[] = "Run";
constexpr char kRunValue[] = "Ravelo";

// The value "Ravelo" under HKEY_CURRENT_USER\...\CurrentVersion\Run, holding `command`.
class RunKeyAutostart : public SessionAutostart {
 public:
  RunKeyAutostart(Registry& registry, std::string command) : registry_(registry), command_(std::move(command)) {}
  bool IsEnabled() override;
  bool SetEnabled(bool enabled, std::string* problem) override;

 private:
  std::unique_ptr<RegistryKey> OpenRun(RegistryAccess access);
  Registry& registry_;
  std::string command_;
};

// A command line that runs `exePath` with no arguments: the path in double quotes, so that
// "C:\Program Files\..." stays one word.
std::string QuotedCommand(const std::string& exePath);

// What `--autostart on|off` does: 0, or 1 with a line for standard error in `error`.
int ApplyAutostartOption(SessionAutostart& autostart, bool enabled, const char* programName, std::string* error);

// The check item "Start at login" in the window's File menu.
class StartAtLoginItem {
 public:
  StartAtLoginItem(SessionAutostart& autostart, StatusLog& log) : autostart_(autostart), log_(log) {}
  // The check mark, asked each time the menu opens.
  bool Checked() { return autostart_.IsEnabled(); }
  // Turns the entry over; a failure is reported in the log.
  void Toggle();

 private:
  SessionAutostart& autostart_;
  StatusLog& log_;
};

// The menu item's command id, beside the ids of resources/resource.h.
constexpr int kStartAtLoginCommand = 150;

}  // namespace ravelo
