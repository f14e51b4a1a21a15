#include "app/gtk/xdg_autostart.h"

#include <pwd.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <vector>

#include "app/gtk/file_settings.h"

namespace ravelo {
namespace {

constexpr char kInstalledPath[] = "/usr/bin/ravelo";
constexpr std::size_t kEntryReadLimit = 64 * 1024;

// A desktop entry's string value: backslash and control characters escaped.
std::string EscapedValue(const std::string& text) {
  std::string value;
  for (char c : text) {
    switch (c) {
      case '\\': value += "\\\\"; break;
      case '\n': value += "\\n"; break;
      case '\t': value += "\\t"; break;
      case '\r': value += "\\r"; break;
      default: value += c; break;
    }
  }
  return value;
}

// Characters that make an Exec argument need quotes.
bool NeedsQuotes(const std::string& arg) {
  return arg.empty() || arg.find_first_of(" \t\n\"'\\><~|&;$*?#()`") != std::string::npos;
}

std::string TrimmedValue(const std::string& line, std::size_t from) {
  std::size_t start = line.find_first_not_of(" \t", from);
  std::size_t end = line.find_last_not_of(" \t\r");
  return start == std::string::npos || end < start ? std::string() : line.substr(start, end - start + 1);
}

std::string SelfPath() {
  std::vector<char> buffer(4096);
  ssize_t n = ::readlink("/proc/self/exe", buffer.data(), buffer.size());
  return n > 0 && static_cast<std::size_t>(n) < buffer.size() ? std::string(buffer.data(), static_cast<std::size_t>(n))
                                                              : std::string(kInstalledPath);
}

std::string HomeDirectory() {
  const char* home = std::getenv("HOME");
  if (home == nullptr || home[0] == '\0') {
    const struct passwd* user = ::getpwuid(::getuid());
    home = user != nullptr ? user->pw_dir : nullptr;
  }
  return home != nullptr ? home : "";
}

}  // namespace

std::string AutostartFilePath(const char* xdgConfigHome, const char* home) {
  if (xdgConfigHome != nullptr && xdgConfigHome[0] == '/') return std::string(xdgConfigHome) + "/autostart/ravelo.desktop";
  if (home != nullptr && home[0] != '\0') return std::string(home) + "/.config/autostart/ravelo.desktop";
  return std::string();
}

std::string AutostartExec(const std::string& path) {
  if (path == kInstalledPath) return "ravelo";
  // Three layers, undone by a launcher in the opposite order: the argument's quotes, the
  // doubled % of field codes, and the escapes of a desktop entry's string value.
  std::string arg = path;
  if (NeedsQuotes(path)) {
    arg = "\"";
    for (char c : path) {
      if (c == '"' || c == '`' || c == '$' || c == '\\') arg += '\\';
      arg += c;
    }
    arg += '"';
  }
  std::string fieldSafe;
  for (char c : arg) {
    if (c == '%') fieldSafe += '%';
    fieldSafe += c;
  }
  return EscapedValue(fieldSafe);
}

std::string AutostartEntry(const std::string& path) {
  return "[Desktop Entry]\n"
         "Type=Application\n"
         "Name=Ravelo\n"
         "Comment=Serve this desktop to a remote client\n"
         "Exec=" + AutostartExec(path) + "\n"
         "TryExec=" + EscapedValue(path == kInstalledPath ? "ravelo" : path) + "\n"
         "Icon=ravelo\n"
         "Terminal=false\n";
}

bool AutostartEntryEnabled(const std::string& text) {
  bool inEntry = false;
  std::size_t pos = 0;
  while (pos < text.size()) {
    std::size_t end = text.find('\n', pos);
    if (end == std::string::npos) end = text.size();
    const std::string line = text.substr(pos, end - pos);
    pos = end + 1;
    if (!line.empty() && line[0] == '[') {
      inEntry = TrimmedValue(line, 0) == "[Desktop Entry]";
      continue;
    }
    std::size_t equals = line.find('=');
    if (!inEntry || equals == std::string::npos) continue;
    const std::string key = TrimmedValue(line.substr(0, equals), 0);
    const std::string value = TrimmedValue(line, equals + 1);
    if ((key == "Hidden" && value == "true") || (key == "X-GNOME-Autostart-enabled" && value == "false")) return false;
  }
  return true;
}

bool XdgAutostart::IsEnabled() {
  if (path_.empty()) return false;
  std::ifstream in(path_, std::ios::binary);
  if (!in) return false;
  std::string text(kEntryReadLimit, '\0');
  in.read(&text[0], static_cast<std::streamsize>(text.size()));
  text.resize(static_cast<std::size_t>(in.gcount()));
  return AutostartEntryEnabled(text);
}

bool XdgAutostart::SetEnabled(bool enabled, std::string* problem) {
  if (path_.empty()) {
    *problem = "no home directory to keep the autostart entry in";
    return false;
  }
  if (enabled) {
    if (WriteFileAtomically(path_, AutostartEntry(program_))) return true;
    *problem = "cannot write " + path_;
    return false;
  }
  if (::unlink(path_.c_str()) == 0 || errno == ENOENT) return true;
  *problem = "cannot remove " + path_ + ": " + std::strerror(errno);
  return false;
}

std::unique_ptr<SessionAutostart> MakeSessionAutostart() {
  const std::string home = HomeDirectory();
  return std::make_unique<XdgAutostart>(AutostartFilePath(std::getenv("XDG_CONFIG_HOME"), home.c_str()),
                                        SelfPath());
}

}  // namespace ravelo
