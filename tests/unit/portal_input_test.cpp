// The portal's input sink under the server's injector: which portal call each client message
// becomes, with the session up and not (the calls' D-Bus arguments are the e2e test's).
#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "fake_desktop_capture.h"
#include "input/inject.h"
#include "input/portal/portal_input_sink.h"

namespace ravelo::portal {
namespace {

class RecordingPortalInput : public RemoteDesktopInput {
 public:
  bool up = true;
  std::vector<std::string> calls;

  bool PointerStream(std::uint32_t& node, double& width, double& height) override {
    node = 57;
    width = 1920;
    height = 1080;
    return up;
  }
  void PointerMotionAbsolute(std::uint32_t node, double x, double y) override {
    calls.push_back("abs " + std::to_string(node) + " " + Number(x) + " " + Number(y));
  }
  void PointerMotion(double dx, double dy) override { calls.push_back("rel " + Number(dx) + " " + Number(dy)); }
  void PointerButton(std::int32_t button, bool pressed) override {
    calls.push_back("button " + std::to_string(button) + (pressed ? " down" : " up"));
  }
  void KeyboardKeysym(std::int32_t keysym, bool pressed) override {
    char hex[16];
    std::snprintf(hex, sizeof hex, "%#x", static_cast<unsigned>(keysym));
    calls.push_back(std::string("keysym ") + hex + (pressed ? " down" : " up"));
  }

 private:
  static std::string Number(double v) { return std::to_string(static_cast<long long>(v)); }
};

struct Fixture {
  std::shared_ptr<RecordingPortalInput> portal = std::make_shared<RecordingPortalInput>();
  std::unique_ptr<InputSink> sink = MakePortalInputSink(portal);
  FakeDesktopCapture desktop;
  SinkInputInjector injector{*sink, desktop};
};

using Steps = void (*)(Fixture&);

struct Case {
  const char* what;
  Steps steps;
  std::vector<std::string> calls;
};

TEST(PortalInputTest, ClientMessagesBecomeTheseCalls) {
  const Case cases[] = {
      // A plain absolute move is the e2e test's; without a session none is made.
      {"no session yet",
       [](Fixture& f) {
         f.portal->up = false;
         f.injector.MovePointerAbsolute(128, 96);
       },
       {}},
      // Region moves scale by the frames' size (here 1024x768) onto the stream's (1920x1080).
      {"in a region", [](Fixture& f) { f.injector.MovePointerInRegion(2, 2, 128, 96); }, {"abs 57 239 134"}},
      {"buttons",
       [](Fixture& f) {
         f.injector.LeftButtonDown();
         f.injector.RightButtonDown();
         f.injector.MiddleButtonUp();
       },
       {"button 272 down", "button 273 down", "button 274 up"}},
      // The keysym of the character itself, beyond ASCII too (a shifted one the e2e test shows).
      {"character", [](Fixture& f) { f.injector.SendKey(0xE9, true); }, {"keysym 0xe9 down"}},
      {"control character",
       [](Fixture& f) { f.injector.SendKey(0x01, true); },
       {"keysym 0xffe3 down", "keysym 0x61 down", "keysym 0xffe3 up"}},
      {"special keys",
       [](Fixture& f) {
         f.injector.SendKey(161, true);  // Enter
         f.injector.SendKey(141, true);  // none
       },
       {"keysym 0xff0d down"}},
  };
  for (const Case& c : cases) {
    Fixture f;
    c.steps(f);
    EXPECT_EQ(f.portal->calls, c.calls) << c.what;
  }
}

}  // namespace
}  // namespace ravelo::portal
