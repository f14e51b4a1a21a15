#include "app/gtk/restore_token_file.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include "app/gtk/file_settings.h"

namespace ravelo {

std::string RestoreTokenFilePath(const std::string& settingsPath) {
  const std::size_t slash = settingsPath.find_last_of('/');
  if (settingsPath.empty() || slash == std::string::npos) return std::string();
  return settingsPath.substr(0, slash + 1) + "portal-restore-token";
}

bool IsRestoreToken(const std::string& text) {
  if (text.empty() || text.size() > kMaxRestoreToken) return false;
  for (char c : text)
    if (c <= ' ' || c > '~') return false;
  return true;
}

std::string LoadRestoreToken(const std::string& path) {
  if (path.empty()) return std::string();
  // Only a regular file, and only its first line: a pipe put there must not stall the start.
  const int fd = ::open(path.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
  if (fd < 0) return std::string();
  struct stat st;
  std::string text;
  if (::fstat(fd, &st) == 0 && S_ISREG(st.st_mode)) {
    char buffer[kMaxRestoreToken + 2];
    const ssize_t n = ::read(fd, buffer, sizeof buffer);
    if (n > 0) text.assign(buffer, static_cast<std::size_t>(n));
  }
  ::close(fd);
  const std::size_t end = text.find('\n');
  if (end != std::string::npos) text.resize(end);
  return IsRestoreToken(text) ? text : std::string();
}

bool SaveRestoreToken(const std::string& path, const std::string& token) {
  if (path.empty() || !IsRestoreToken(token)) return false;
  return WriteFileAtomically(path, token + "\n");
}

}  // namespace ravelo
