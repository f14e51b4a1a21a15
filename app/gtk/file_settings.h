// The settings file of the Linux program: the password and the "Run on Startup" choice as
// the lines "Pass=<text>" and "StartupRun=<0|1>", read by the registry's acceptance rules.
#pragma once

#include <optional>
#include <string>

#include "app/shell.h"

namespace ravelo {

// What a settings file's text holds; an absent member leaves its control as it is. The
// password line is UTF-8 text; the password itself is its Latin-1 bytes (server/latin1.h).
struct StoredSettings {
  std::optional<std::string> password;
  bool passwordRejected = false;  // the last password line could not be used
  bool runOnStartup = false;      // only "StartupRun=1" checks the box
  bool fastAnswers = false;       // "FastAnswers=1", written only when on
};

StoredSettings ParseSettings(const std::string& text);
std::string FormatSettings(const std::string& password, bool runOnStartup, bool fastAnswers = false);

// $XDG_CONFIG_HOME/ravelo/settings, or ~/.config/ravelo/settings when that variable is unset,
// empty or not an absolute path; empty when there is no home either.
std::string SettingsFilePath(const char* xdgConfigHome, const char* home);
std::string DefaultSettingsFilePath();

// Replaces the file `path` names with `contents` in one step: a temporary file in the same
// directory, mode 0600, written and flushed to disk, then renamed over it. A symbolic link the
// user made stays, and the file it points to is replaced. Missing directories are made (mode
// 0700). On failure nothing but the old file is left.
bool WriteFileAtomically(const std::string& path, const std::string& contents);

// At most this much of a settings file is read; the two lines need a few dozen bytes.
constexpr std::size_t kSettingsReadLimit = 64 * 1024;

class FileSettings : public SettingsStore {
 public:
  explicit FileSettings(std::string path) : path_(std::move(path)) {}
  // Failures are silent, as the registry's are: no file, an unreadable one, a bad line. A
  // file that another user owns, or that others may write, is not read.
  StoredPassword LoadSettings(WindowControls& window) override;
  void SaveSettings(WindowControls& window) override;

 private:
  std::string path_;
};

}  // namespace ravelo
