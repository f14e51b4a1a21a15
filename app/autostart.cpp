#include "app/autostart.h"

#include <cstdint>

namespace ravelo {
namespace {

constexpr char kRunKeyName[] = "HKEY_CURRENT_USER\\Software\\Microsoft\\Windows\\CurrentVersion\\Run";

}  // namespace

std::unique_ptr<RegistryKey> RunKeyAutostart::OpenRun(RegistryAccess access) {
  std::unique_ptr<RegistryKey> parent = registry_.OpenKey(RegistryHive::kCurrentUser, kRunKeyParent);
  if (!parent) return nullptr;
  return access == RegistryAccess::kRead ? parent->OpenSubKey(kRunKey, access) : parent->CreateSubKey(kRunKey);
}

bool RunKeyAutostart::IsEnabled() {
  std::unique_ptr<RegistryKey> run = OpenRun(RegistryAccess::kRead);
  if (!run) return false;
  // Any command under the name counts: the session starts something called Ravelo.
  std::uint8_t data[4096];
  std::uint32_t type = 0;
  std::uint32_t size = sizeof data;
  return run->QueryValue(kRunValue, &type, data, &size) &&
         (type == regtype::kString || type == regtype::kExpandString);
}

bool RunKeyAutostart::SetEnabled(bool enabled, std::string* problem) {
  std::unique_ptr<RegistryKey> run = OpenRun(RegistryAccess::kReadWrite);
  bool done = false;
  if (enabled) {
    done = run && run->SetValue(kRunValue, regtype::kString, reinterpret_cast<const std::uint8_t*>(command_.c_str()),
                                static_cast<std::uint32_t>(command_.size() + 1));
  } else {
    if (run) run->DeleteValue(kRunValue);
    done = !IsEnabled();  // a key that cannot be opened holds nothing the session would start
  }
  if (!done) *problem = std::string("cannot ") + (enabled ? "write" : "remove") + " the value " + kRunValue + " under " + kRunKeyName;
  return done;
}

std::string QuotedCommand(const std::string& exePath) { return "\"" + exePath + "\""; }

int ApplyAutostartOption(SessionAutostart& autostart, bool enabled, const char* programName, std::string* error) {
  std::string problem;
  if (autostart.SetEnabled(enabled, &problem)) return 0;
  *error = std::string(programName) + ": could not turn start at login " + (enabled ? "on" : "off") + ": " + problem + "\n";
  return 1;
}

void StartAtLoginItem::Toggle() {
  const bool enable = !autostart_.IsEnabled();
  std::string problem;
  if (!autostart_.SetEnabled(enable, &problem)) {
    log_.LogMessage("Could not turn start at login %s: %s", enable ? "on" : "off", problem.c_str());
  }
}

}  // namespace ravelo
