// Where the Linux program writes its picture files: a directory only its user can enter, so
// that nobody else can plant a link or a pipe under the pictures' names or read them.
#pragma once

#include <string>

namespace ravelo {

// `runtimeDir`/ravelo when the runtime directory ($XDG_RUNTIME_DIR) is set and absolute;
// else `tempDir` (or /tmp)/ravelo-UID; else a fresh directory there. Each is made mode 0700 and
// used only when it is a real directory (not a link) owned by the user. Empty on failure.
std::string PrivatePictureDirectory(const char* runtimeDir, const char* tempDir);

}  // namespace ravelo
