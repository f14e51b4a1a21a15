#include "x11_test_display.h"

#include <fcntl.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>
#include <xcb/xcb.h>

#include <algorithm>
#include <cstdlib>

namespace ravelo::testing {

namespace {

struct Connection {
  explicit Connection(const std::string& display) : c(xcb_connect(display.c_str(), nullptr)) {}
  ~Connection() { xcb_disconnect(c); }
  bool Ok() const { return xcb_connection_has_error(c) == 0; }
  xcb_screen_t* Screen() const { return xcb_setup_roots_iterator(xcb_get_setup(c)).data; }
  // A round trip: every request before it has been carried out.
  bool Sync() const {
    std::free(xcb_get_input_focus_reply(c, xcb_get_input_focus(c), nullptr));
    return Ok();
  }
  xcb_connection_t* c;
};

}  // namespace

bool XvfbInstalled() { return std::system("command -v Xvfb >/dev/null 2>&1") == 0; }

PrivateXvfb::PrivateXvfb(int width, int height, const std::vector<std::string>& extra) {
  int fds[2];
  if (pipe(fds) != 0) return;
  const std::string screen = std::to_string(width) + "x" + std::to_string(height) + "x24";
  const std::string fd = std::to_string(fds[1]);
  std::vector<std::string> args = {"Xvfb", "-displayfd", fd, "-screen", "0", screen, "-nolisten", "tcp", "-noreset"};
  args.insert(args.end(), extra.begin(), extra.end());
  std::vector<char*> argv;
  for (std::string& a : args) argv.push_back(a.data());
  argv.push_back(nullptr);
  pid_ = fork();
  if (pid_ == 0) {
    close(fds[0]);
    const int null = open("/dev/null", O_WRONLY);
    if (null >= 0) {
      dup2(null, 1);
      dup2(null, 2);
    }
    execvp("Xvfb", argv.data());
    _exit(127);
  }
  close(fds[1]);
  if (pid_ < 0) {
    close(fds[0]);
    return;
  }
  // The server writes its display number once it accepts connections.
  std::string number;
  char ch;
  while (read(fds[0], &ch, 1) == 1 && ch != '\n') number += ch;
  close(fds[0]);
  if (!number.empty()) name_ = ":" + number;
}

PrivateXvfb::~PrivateXvfb() {
  if (pid_ <= 0) return;
  kill(pid_, SIGTERM);
  int status = 0;
  waitpid(pid_, &status, 0);
}

bool ShowOnRoot(const std::string& display, int32_t width, int32_t height, const std::vector<uint32_t>& rgb) {
  Connection x(display);
  if (!x.Ok() || rgb.size() != static_cast<size_t>(width) * static_cast<size_t>(height)) return false;
  xcb_screen_t* s = x.Screen();
  const xcb_pixmap_t pixmap = xcb_generate_id(x.c);
  xcb_create_pixmap(x.c, s->root_depth, pixmap, s->root, static_cast<uint16_t>(width), static_cast<uint16_t>(height));
  const xcb_gcontext_t gc = xcb_generate_id(x.c);
  xcb_create_gc(x.c, gc, pixmap, 0, nullptr);
  // In bands, to stay within the request size. 0x00RRGGBB is the server's 32-bit pixel.
  const int32_t rows = std::max<int32_t>(1, 65536 / width);
  for (int32_t top = 0; top < height; top += rows) {
    const int32_t n = std::min(rows, height - top);
    xcb_put_image(x.c, XCB_IMAGE_FORMAT_Z_PIXMAP, pixmap, gc, static_cast<uint16_t>(width),
                  static_cast<uint16_t>(n), 0, static_cast<int16_t>(top), 0, s->root_depth,
                  static_cast<uint32_t>(static_cast<size_t>(width) * n * 4),
                  reinterpret_cast<const uint8_t*>(&rgb[static_cast<size_t>(top) * width]));
  }
  xcb_change_window_attributes(x.c, s->root, XCB_CW_BACK_PIXMAP, &pixmap);
  xcb_clear_area(x.c, 0, s->root, 0, 0, 0, 0);
  xcb_free_gc(x.c, gc);
  xcb_free_pixmap(x.c, pixmap);
  return x.Sync();
}

bool HasExtension(const std::string& display, const std::string& name) {
  Connection x(display);
  if (!x.Ok()) return false;
  xcb_query_extension_reply_t* r = xcb_query_extension_reply(
      x.c, xcb_query_extension(x.c, static_cast<uint16_t>(name.size()), name.c_str()), nullptr);
  const bool present = r != nullptr && r->present;
  std::free(r);
  return present;
}

bool WarpPointer(const std::string& display, int32_t x, int32_t y) {
  Connection c(display);
  if (!c.Ok()) return false;
  xcb_warp_pointer(c.c, XCB_NONE, c.Screen()->root, 0, 0, 0, 0, static_cast<int16_t>(x), static_cast<int16_t>(y));
  return c.Sync();
}

}  // namespace ravelo::testing
