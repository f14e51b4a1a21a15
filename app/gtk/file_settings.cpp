#include "app/gtk/file_settings.h"

#include <fcntl.h>
#include <pwd.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <vector>

#include "app/settings_store.h"
#include "linux/posix_file.h"
#include "wire/latin1.h"

namespace ravelo {
namespace {

constexpr char kPassLine[] = "Pass=";
constexpr char kStartupLine[] = "StartupRun=";
constexpr char kFastAnswersLine[] = "FastAnswers=";

bool StartsWith(const std::string& s, const char* prefix) { return s.compare(0, std::strlen(prefix), prefix) == 0; }

// Every missing directory on the way to `dir`, each made private to the user.
bool MakeDirectories(const std::string& dir) {
  struct stat st;
  if (dir.empty() || ::stat(dir.c_str(), &st) == 0) return !dir.empty() && S_ISDIR(st.st_mode);
  std::size_t slash = dir.find_last_of('/');
  if (slash != std::string::npos && slash > 0 && !MakeDirectories(dir.substr(0, slash))) return false;
  return ::mkdir(dir.c_str(), 0700) == 0 || errno == EEXIST;
}

// The file's text, only from a regular file: a pipe or device put there must not stall the
// start-up. A password that someone else could have written is no password of the user's.
std::optional<std::string> ReadSettingsFile(const std::string& path) {
  UniqueFd fd(::open(path.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC));
  struct stat st;
  if (fd.get() < 0 || ::fstat(fd.get(), &st) != 0 || !S_ISREG(st.st_mode)) return std::nullopt;
  if (st.st_uid != ::geteuid() || (st.st_mode & (S_IWGRP | S_IWOTH)) != 0) {
    std::fprintf(stderr, "ravelo: %s is not read: it must belong to you and be writable by you alone\n",
                 path.c_str());
    return std::nullopt;
  }
  std::string text;
  char buffer[4096];
  while (text.size() < kSettingsReadLimit) {
    ssize_t n = ::read(fd.get(), buffer, sizeof buffer);
    if (n < 0 && errno == EINTR) continue;
    if (n < 0) return std::nullopt;
    if (n == 0) break;
    text.append(buffer, static_cast<std::size_t>(n));
  }
  return text.substr(0, kSettingsReadLimit);
}

// The file a chain of symbolic links ends at (which need not exist yet); `path` itself when
// it is no link, or when the chain does not end.
std::string FollowLinks(const std::string& path) {
  std::string at = path;
  for (int hops = 0; hops < 40; ++hops) {
    struct stat st;
    if (::lstat(at.c_str(), &st) != 0 || !S_ISLNK(st.st_mode)) return at;
    std::vector<char> target(static_cast<std::size_t>(st.st_size > 0 ? st.st_size : 255) + 1);
    const ssize_t n = ::readlink(at.c_str(), target.data(), target.size());
    if (n <= 0 || static_cast<std::size_t>(n) >= target.size()) return path;
    std::string next(target.data(), static_cast<std::size_t>(n));
    if (next[0] != '/') {
      const std::size_t slash = at.find_last_of('/');
      next = (slash == std::string::npos ? std::string() : at.substr(0, slash + 1)) + next;
    }
    at = next;
  }
  return path;
}

}  // namespace

StoredSettings ParseSettings(const std::string& text) {
  StoredSettings stored;
  std::size_t pos = 0;
  while (pos < text.size()) {
    std::size_t end = text.find('\n', pos);
    if (end == std::string::npos) end = text.size();
    std::string line = text.substr(pos, end - pos);
    pos = end + 1;
    if (!line.empty() && line.back() == '\r') line.pop_back();  // edited on Windows
    // A later line of the same name wins, as in most configuration files.
    if (StartsWith(line, kPassLine)) {
      // The Latin-1 text with its NUL, as the registry would hand it over.
      std::optional<std::string> latin1 = Utf8ToLatin1(line.substr(std::strlen(kPassLine)));
      std::optional<std::string> password;
      if (latin1) {
        std::vector<std::uint8_t> value(latin1->begin(), latin1->end());
        value.push_back(0);
        password = AcceptStoredPassword(value.data(), static_cast<std::uint32_t>(value.size()));
      }
      stored.passwordRejected = !password;
      stored.password = password;
    } else if (StartsWith(line, kStartupLine)) {
      stored.runOnStartup = line.compare(std::strlen(kStartupLine), std::string::npos, "1") == 0;
    } else if (StartsWith(line, kFastAnswersLine)) {
      stored.fastAnswers = line.compare(std::strlen(kFastAnswersLine), std::string::npos, "1") == 0;
    }
  }
  return stored;
}

std::string FormatSettings(const std::string& password, bool runOnStartup, bool fastAnswers) {
  return kPassLine + Latin1ToUtf8(password) + "\n" + kStartupLine + (runOnStartup ? "1" : "0") + "\n" +
         (fastAnswers ? std::string(kFastAnswersLine) + "1\n" : std::string());
}

std::string SettingsFilePath(const char* xdgConfigHome, const char* home) {
  if (xdgConfigHome != nullptr && xdgConfigHome[0] == '/') return std::string(xdgConfigHome) + "/ravelo/settings";
  if (home != nullptr && home[0] != '\0') return std::string(home) + "/.config/ravelo/settings";
  return std::string();
}

std::string DefaultSettingsFilePath() {
  const char* home = std::getenv("HOME");
  if (home == nullptr || home[0] == '\0') {
    const struct passwd* user = ::getpwuid(::getuid());
    home = user != nullptr ? user->pw_dir : nullptr;
  }
  return SettingsFilePath(std::getenv("XDG_CONFIG_HOME"), home);
}

bool WriteFileAtomically(const std::string& name, const std::string& contents) {
  const std::string path = FollowLinks(name);
  std::size_t slash = path.find_last_of('/');
  std::string dir = slash == std::string::npos ? std::string(".") : path.substr(0, slash == 0 ? 1 : slash);
  if (!MakeDirectories(dir)) return false;
  std::string temp = dir + "/.settings.XXXXXX";
  UniqueFd fd(::mkostemp(&temp[0], O_CLOEXEC));
  if (fd.get() < 0) return false;
  // Written, flushed and closed before the name points at it: a crash or a full disk
  // leaves the old file, never part of the new one.
  bool ok = ::fchmod(fd.get(), 0600) == 0 && WriteAll(fd.get(), contents.data(), contents.size()) && ::fsync(fd.get()) == 0;
  ok = fd.Close() && ok;
  ok = ok && ::rename(temp.c_str(), path.c_str()) == 0;
  if (!ok) {
    ::unlink(temp.c_str());
    return false;
  }
  UniqueFd dirFd(::open(dir.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
  if (dirFd.get() >= 0) ::fsync(dirFd.get());  // the rename itself survives a crash too
  return true;
}

StoredPassword FileSettings::LoadSettings(WindowControls& window) {
  if (path_.empty()) return StoredPassword::kNone;
  std::optional<std::string> text = ReadSettingsFile(path_);
  if (!text) return StoredPassword::kNone;
  StoredSettings stored = ParseSettings(*text);
  if (stored.runOnStartup) window.SetRunOnStartup(true);
  if (stored.fastAnswers) window.SetFastAnswers(true);
  if (stored.passwordRejected) return StoredPassword::kRejected;
  if (!stored.password) return StoredPassword::kNone;
  window.SetPasswordText(*stored.password);
  return StoredPassword::kLoaded;
}

void FileSettings::SaveSettings(WindowControls& window) {
  if (path_.empty()) return;
  WriteFileAtomically(path_,
                      FormatSettings(window.PasswordText(), window.RunOnStartupChecked(), window.FastAnswersChecked()));
}

}  // namespace ravelo
