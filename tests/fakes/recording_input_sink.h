// Records every event the injector hands the platform, e.g. "abs 259 348", "rel 3 -2",
// "button 2", "key 16 down"; the layout is a small US one that tests may change.
#pragma once

#include <map>
#include <string>
#include <vector>

#include "input/inject.h"

namespace ravelo {

class RecordingInputSink : public InputSink {
 public:
  std::vector<std::string> events;
  std::map<std::uint8_t, std::optional<LayoutKey>> layout;  // overrides the US letters
  std::vector<std::uint8_t> scans;                           // characters looked up

  void SendPointerMove(std::int32_t dx, std::int32_t dy, bool relative) override {
    events.push_back((relative ? "rel " : "abs ") + std::to_string(dx) + " " + std::to_string(dy));
  }
  void SendPointerButton(std::uint32_t flags) override {
    events.push_back("button " + std::to_string(flags));
  }
  void SendKeyEvent(std::uint16_t key, bool down) override {
    events.push_back("key " + std::to_string(key) + (down ? " down" : " up"));
  }
  std::optional<LayoutKey> ScanCharacter(std::uint8_t c) override {
    scans.push_back(c);
    auto it = layout.find(c);
    if (it != layout.end()) return it->second;
    if (c >= 'a' && c <= 'z') return LayoutKey{static_cast<std::uint16_t>(c - 'a' + 'A'), 0};
    if (c >= 'A' && c <= 'Z') return LayoutKey{c, modifier::kShift};
    if (c >= '0' && c <= '9') return LayoutKey{c, 0};
    if (c == ' ') return LayoutKey{0x20, 0};
    if (c == '!') return LayoutKey{'1', modifier::kShift};
    return std::nullopt;
  }
};

}  // namespace ravelo
