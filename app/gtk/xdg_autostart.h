// Start at login on Linux: an XDG autostart entry, $XDG_CONFIG_HOME/autostart/ravelo.desktop,
// which desktop sessions run when the user logs in.
#pragma once

#include <string>

#include "app/autostart.h"

namespace ravelo {

// $XDG_CONFIG_HOME/autostart/ravelo.desktop, or under ~/.config when that variable is unset or
// not an absolute path (as for the settings file); empty when there is no home either.
std::string AutostartFilePath(const char* xdgConfigHome, const char* home);

// How the entry's Exec line starts the program at `path`: plain "ravelo" for the installed one,
// else the path, quoted and escaped by the desktop entry rules where it needs that.
std::string AutostartExec(const std::string& path);

// The entry for the program at `path`. Its TryExec names the program too, so that once the
// program is removed, sessions skip the entry left in the user's home.
std::string AutostartEntry(const std::string& path);

// Whether an entry's text leaves it in force: sessions skip one with Hidden=true, GNOME's also
// one with X-GNOME-Autostart-enabled=false (what its own settings write to turn it off).
bool AutostartEntryEnabled(const std::string& text);

class XdgAutostart : public SessionAutostart {
 public:
  // `entryPath`: where the entry goes; `programPath`: the program it starts.
  XdgAutostart(std::string entryPath, std::string programPath)
      : path_(std::move(entryPath)), program_(std::move(programPath)) {}
  bool IsEnabled() override;
  bool SetEnabled(bool enabled, std::string* problem) override;

 private:
  std::string path_;
  std::string program_;
};

}  // namespace ravelo
