// Start at login on Windows: the Run value names this exe by its full path.
#include <windows.h>

#include "app/autostart.h"
#include "app/win32/win32_registry.h"

namespace ravelo {
namespace {

std::string ExePath() {
  std::string path(MAX_PATH, '\0');
  for (;;) {
    DWORD n = GetModuleFileNameA(nullptr, &path[0], static_cast<DWORD>(path.size()));
    if (n == 0) return std::string();
    if (n < path.size()) {
      path.resize(n);
      return path;
    }
    path.resize(path.size() * 2);  // cut short: a long path, ask again with more room
  }
}

class Win32Autostart : public SessionAutostart {
 public:
  Win32Autostart() : run_(registry_, QuotedCommand(ExePath())) {}
  bool IsEnabled() override { return run_.IsEnabled(); }
  bool SetEnabled(bool enabled, std::string* problem) override { return run_.SetEnabled(enabled, problem); }

 private:
  Win32Registry registry_;
  RunKeyAutostart run_;
};

}  // namespace

std::unique_ptr<SessionAutostart> MakeSessionAutostart() { return std::make_unique<Win32Autostart>(); }

}  // namespace ravelo
