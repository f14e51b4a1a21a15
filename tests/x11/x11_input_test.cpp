// The X11 input sink on a private Xvfb, through the portable injector as the session
// drives it: where the pointer lands, and which keys a plain X client sees. Buttons, held
// input let go, the overview's corners and middle, and plain and shifted typing are the
// whole program's e2e test's (tests/e2e/linux/test_input.py).
#include <gtest/gtest.h>
#include <poll.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "fake_desktop_capture.h"
#include "input/inject.h"
#include "input/x11/x11_input_sink.h"
#include "x11_test_display.h"

// Last: Xlib defines None, Bool and others as macros.
#include <X11/XKBlib.h>
#include <X11/Xlib.h>
#include <X11/Xutil.h>

namespace ravelo {
namespace {

using Events = std::vector<std::string>;
using testing::PrivateXvfb;

// A window over the whole screen with the input focus, recording what reaches it:
// "button 1 down", "press A" (the keysym the client reads), "release a" (the key's own).
class Recorder {
 public:
  explicit Recorder(const std::string& display) : display_(XOpenDisplay(display.c_str())) {
    if (display_ == nullptr) return;
    const int screen = DefaultScreen(display_);
    XSetWindowAttributes a{};
    a.override_redirect = True;
    a.event_mask = KeyPressMask | KeyReleaseMask | ButtonPressMask | ButtonReleaseMask | StructureNotifyMask;
    window_ = XCreateWindow(display_, RootWindow(display_, screen), 0, 0,
                             static_cast<unsigned>(DisplayWidth(display_, screen)),
                             static_cast<unsigned>(DisplayHeight(display_, screen)), 0, CopyFromParent,
                             InputOutput, CopyFromParent, CWOverrideRedirect | CWEventMask, &a);
    XMapRaised(display_, window_);
    XEvent e;
    do XWindowEvent(display_, window_, StructureNotifyMask, &e);
    while (e.type != MapNotify);
    XSetInputFocus(display_, window_, RevertToParent, CurrentTime);
    XSync(display_, False);
  }
  ~Recorder() {
    if (display_ != nullptr) XCloseDisplay(display_);
  }
  bool Ok() const { return display_ != nullptr; }

  // The events that arrive until `count` have or two seconds pass, then a short while
  // longer to catch any extra ones.
  Events Take(size_t count) {
    Events out;
    auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(2);
    bool settling = false;
    while (true) {
      while (XPending(display_) > 0) {
        XEvent e;
        XNextEvent(display_, &e);
        std::string text = Describe(e);
        if (!text.empty()) out.push_back(text);
      }
      if (out.size() >= count && !settling) {
        settling = true;
        deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(150);
      }
      const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - std::chrono::steady_clock::now());
      if (left.count() <= 0) return out;
      pollfd p{ConnectionNumber(display_), POLLIN, 0};
      poll(&p, 1, static_cast<int>(left.count()));
    }
  }

 private:
  std::string Describe(XEvent& e) {
    switch (e.type) {
      case ButtonPress: return "button " + std::to_string(e.xbutton.button) + " down";
      case ButtonRelease: return "button " + std::to_string(e.xbutton.button) + " up";
      case KeyPress: {
        char text[8];
        KeySym sym = NoSymbol;
        XLookupString(&e.xkey, text, sizeof text, &sym, nullptr);
        const char* name = XKeysymToString(sym);
        return std::string("press ") + (name != nullptr ? name : "?");
      }
      case KeyRelease: {
        const char* name =
            XKeysymToString(XkbKeycodeToKeysym(display_, static_cast<KeyCode>(e.xkey.keycode), 0, 0));
        return std::string("release ") + (name != nullptr ? name : "?");
      }
      default: return "";
    }
  }

  Display* display_;
  Window window_ = 0;
};

bool PointerAt(const std::string& display, int* x, int* y) {
  Display* d = XOpenDisplay(display.c_str());
  if (d == nullptr) return false;
  Window root, child;
  int wx, wy;
  unsigned mask;
  const bool ok = XQueryPointer(d, DefaultRootWindow(d), &root, &child, x, y, &wx, &wy, &mask) != 0;
  XCloseDisplay(d);
  return ok;
}

bool SetLayout(const std::string& display, const char* layout) {
  const std::string command = "setxkbmap -display " + display + " " + layout + " >/dev/null 2>&1";
  const int status = std::system(command.c_str());
  return WIFEXITED(status) && WEXITSTATUS(status) == 0;
}

class X11InputTest : public ::testing::Test {
 protected:
  void SetUp() override {
    if (!testing::XvfbInstalled()) GTEST_SKIP() << "Xvfb is not installed";
    ASSERT_TRUE(xvfb.Running());
    if (!testing::HasExtension(xvfb.Name(), "XTEST")) GTEST_SKIP() << "Xvfb has no XTest";
    sink = MakeX11InputSink(xvfb.Name().c_str());
    ASSERT_NE(sink, nullptr) << "no XTest on " << xvfb.Name();
    injector = std::make_unique<SinkInputInjector>(*sink, desktop);
  }

  PrivateXvfb xvfb{1024, 768};
  FakeDesktopCapture desktop;
  std::unique_ptr<InputSink> sink;
  std::unique_ptr<SinkInputInjector> injector;
};

TEST_F(X11InputTest, PointerLandsWhereTheClientPointed) {
  struct Case {
    const char* name;
    std::function<void()> move;
    int x, y;
  };
  PointerAnchor anchor;
  const Case cases[] = {
      {"absolute scale, an eighth", [&] { sink->SendPointerMove(8191, 8191, false); }, 127, 95},
      {"relative anchor set, no move", [&] { injector->MovePointerRelative(anchor, 100, 50); }, 127, 95},
      {"relative by 3, -2", [&] { injector->MovePointerRelative(anchor, 103, 48); }, 130, 93},
      {"relative by -4, 4", [&] { injector->MovePointerRelative(anchor, 99, 52); }, 126, 97},
  };
  for (const Case& c : cases) {
    c.move();
    int x = -1, y = -1;
    ASSERT_TRUE(PointerAt(xvfb.Name(), &x, &y)) << c.name;
    EXPECT_NEAR(x, c.x, 1) << c.name;
    EXPECT_NEAR(y, c.y, 1) << c.name;
  }
}

TEST_F(X11InputTest, KeysAndCharactersWithShiftAroundThem) {
  Recorder recorder(xvfb.Name());
  ASSERT_TRUE(recorder.Ok());
  struct Case {
    std::uint16_t code;
    Events seen;
  };
  const Case cases[] = {
      {' ', {"press space", "release space"}},
      {129, {"press F1", "release F1"}},
      {140, {"press F12", "release F12"}},
      {143, {"press Prior", "release Prior"}},
      {160, {"press Delete", "release Delete"}},
      {0x03, {"press Control_L", "press c", "release Control_L", "release c"}},
      {0xE9, {}},  // é: not on a US keyboard, so nothing is sent
      {141, {}},   // a code that sends nothing
  };
  for (const Case& c : cases) {
    injector->SendKey(c.code, true);
    injector->SendKey(c.code, false);
    EXPECT_EQ(recorder.Take(c.seen.size()), c.seen) << c.code;
  }
}

TEST_F(X11InputTest, ThirdLevelOfAGermanKeyboard) {
  if (!SetLayout(xvfb.Name(), "de")) GTEST_SKIP() << "setxkbmap could not load the German layout";
  Recorder recorder(xvfb.Name());
  ASSERT_TRUE(recorder.Ok());
  struct Case {
    std::uint8_t c;
    Events seen;
  };
  const Case cases[] = {
      {'z', {"press z", "release z"}},  // where y is on a US keyboard
      {'@', {"press ISO_Level3_Shift", "press at", "release ISO_Level3_Shift", "release q"}},
      {0xF6, {"press odiaeresis", "release odiaeresis"}},
      {0xC4, {"press Shift_L", "press Adiaeresis", "release Shift_L", "release adiaeresis"}},
  };
  for (const Case& c : cases) {
    injector->SendKey(c.c, true);
    injector->SendKey(c.c, false);
    EXPECT_EQ(recorder.Take(c.seen.size()), c.seen) << int(c.c);
  }
}

TEST(X11InputSinkTest, NoDisplayNoSink) { EXPECT_EQ(MakeX11InputSink(":65000"), nullptr); }

}  // namespace
}  // namespace ravelo
