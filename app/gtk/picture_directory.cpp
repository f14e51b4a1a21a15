#include "app/gtk/picture_directory.h"

#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <vector>

namespace ravelo {
namespace {

bool UsablePrivateDirectory(const std::string& path) {
  if (::mkdir(path.c_str(), 0700) != 0 && errno != EEXIST) return false;
  struct stat st;
  // lstat: a link to a directory elsewhere does not count.
  if (::lstat(path.c_str(), &st) != 0 || !S_ISDIR(st.st_mode) || st.st_uid != ::geteuid()) return false;
  return (st.st_mode & 077) == 0 || ::chmod(path.c_str(), 0700) == 0;
}

}  // namespace

std::string PrivatePictureDirectory(const char* runtimeDir, const char* tempDir) {
  if (runtimeDir != nullptr && runtimeDir[0] == '/') {
    const std::string path = std::string(runtimeDir) + "/ravelo";
    if (UsablePrivateDirectory(path)) return path;
  }
  const std::string temp = tempDir != nullptr && tempDir[0] == '/' ? tempDir : "/tmp";
  const std::string shared = temp + "/ravelo-" + std::to_string(::geteuid());
  if (UsablePrivateDirectory(shared)) return shared;
  // Someone else holds that name: a directory of our own with a name nobody can guess.
  std::string pattern = temp + "/ravelo-XXXXXX";
  std::vector<char> buffer(pattern.begin(), pattern.end());
  buffer.push_back('\0');
  if (::mkdtemp(buffer.data()) == nullptr) return std::string();
  return std::string(buffer.data());
}

}  // namespace ravelo
