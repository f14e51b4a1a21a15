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

std::string AutostartEntry(const std::string& exec);

// Whether an entry's text leaves it in force: sessions skip one with Hidden=true, GNOME's also
// one with X-GNOME-Autostart-enabled=false (what its own settings write to turn it off).
bool AutostartEntryEnabled(const std::string& text);

class XdgAutostart : public SessionAutostart {
 public:
  XdgAutostart(std::string path, std::string exec) : path_(std::move(path)), exec_(std::move(exec)) {}
  bool IsEnabled() override;
  bool SetEnabled(bool enabled, std::string* problem) override;

 private:
  std::string path_;
  std::string exec_;
};

}  // namespace ravelo
