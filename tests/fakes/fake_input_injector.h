#pragma once

#include <string>
#include <vector>

#include "input/inject.h"

namespace ravelo {

// Appends one readable entry per call, e.g. "abs 10 20", "key 65 down".
class FakeInputInjector : public InputInjector {
 public:
  std::vector<std::string> events;

  void MovePointerAbsolute(std::uint8_t x, std::uint8_t y) override { Add("abs", x, y); }
  void MovePointerRelative(PointerAnchor& anchor, std::uint8_t x, std::uint8_t y) override {
    Add("rel", x, y);
    anchor = {x, y};
  }
  void SetPointerAnchor(PointerAnchor& anchor, std::uint8_t x, std::uint8_t y) override {
    Add("anchor", x, y);
    anchor = {x, y};
  }
  void MovePointerInRegion(std::uint8_t ox, std::uint8_t oy, std::uint8_t dx,
                           std::uint8_t dy) override {
    events.push_back("region " + std::to_string(ox) + " " + std::to_string(oy) + " " +
                     std::to_string(dx) + " " + std::to_string(dy));
  }
  void LeftButtonDown() override { events.push_back("left down"); }
  void LeftButtonUp() override { events.push_back("left up"); }
  void RightButtonDown() override { events.push_back("right down"); }
  void RightButtonUp() override { events.push_back("right up"); }
  void MiddleButtonDown() override { events.push_back("middle down"); }
  void MiddleButtonUp() override { events.push_back("middle up"); }
  void SendKey(std::uint16_t code, bool down) override {
    events.push_back("key " + std::to_string(code) + (down ? " down" : " up"));
  }
  void ReleaseHeld() override {}  // what is let go when is input_inject_test's

 private:
  void Add(const char* what, int x, int y) {
    events.push_back(std::string(what) + " " + std::to_string(x) + " " + std::to_string(y));
  }
};

}  // namespace ravelo
