// What the X11 capture and the X11 input share of XCB: replies that are freed with free(),
// and a connection to a display's screen.
#pragma once

#include <xcb/xcb.h>

#include <cstdlib>
#include <memory>

namespace ravelo::x11 {

struct FreeReply {
  void operator()(void* p) const { std::free(p); }
};
template <typename T>
using Reply = std::unique_ptr<T, FreeReply>;

// A connection to `displayName` (the environment's display when null) and the screen it
// names; null when either cannot be had.
inline xcb_connection_t* ConnectToScreen(const char* displayName, xcb_screen_t** screen) {
  int number = 0;
  xcb_connection_t* c = xcb_connect(displayName, &number);
  if (xcb_connection_has_error(c)) {
    xcb_disconnect(c);
    return nullptr;
  }
  xcb_screen_iterator_t screens = xcb_setup_roots_iterator(xcb_get_setup(c));
  for (int i = 0; i < number && screens.rem > 0; ++i) xcb_screen_next(&screens);
  if (screens.rem == 0) {
    xcb_disconnect(c);
    return nullptr;
  }
  *screen = screens.data;
  return c;
}

}  // namespace ravelo::x11
