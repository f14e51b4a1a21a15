// A private Xvfb for the X11 tests and the capture benchmark, and what they put on it.
#pragma once

#include <sys/types.h>

#include <cstdint>
#include <string>
#include <vector>

namespace ravelo::testing {

// Whether the X server for the tests can be run at all on this machine.
bool XvfbInstalled();

// One Xvfb with a single screen of the given size at 24 bits, on a display number it picks
// itself, with further arguments such as "-extension", "MIT-SHM"; stopped on destruction.
class PrivateXvfb {
 public:
  PrivateXvfb(int width, int height, const std::vector<std::string>& extra = {});
  ~PrivateXvfb();
  PrivateXvfb(const PrivateXvfb&) = delete;
  PrivateXvfb& operator=(const PrivateXvfb&) = delete;

  bool Running() const { return !name_.empty(); }
  // ":N", empty when the server did not come up.
  const std::string& Name() const { return name_; }

 private:
  pid_t pid_ = -1;
  std::string name_;
};

// Makes `rgb` (0x00RRGGBB, rows from the top) the root window's background, as a desktop
// picture program does, and waits until the server has drawn it.
bool ShowOnRoot(const std::string& display, int32_t width, int32_t height, const std::vector<uint32_t>& rgb);

// Whether the server announces the extension, such as "XTEST" or "XFIXES".
bool HasExtension(const std::string& display, const std::string& name);

// Puts the pointer at (x, y) of the root window.
bool WarpPointer(const std::string& display, int32_t x, int32_t y);

}  // namespace ravelo::testing
