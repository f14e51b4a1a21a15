// The input sink over SendInput and VkKeyScanA: one INPUT record per call.
#pragma once

#include "input/inject.h"

namespace ravelo {

class Win32InputSink : public InputSink {
 public:
  void SendPointerMove(std::int32_t dx, std::int32_t dy, bool relative) override;
  void SendPointerButton(std::uint32_t flags) override;
  void SendKeyEvent(std::uint16_t key, bool down) override;
  std::optional<LayoutKey> ScanCharacter(std::uint8_t character) override;
};

}  // namespace ravelo
