// Stand-ins until the X11 capture and input backends are in: the software desktop's fixed
// picture, and a sink that injects nothing.
#include "app/gtk/desktop_services.h"

namespace ravelo {
namespace {

class NoInputSink : public InputSink {
 public:
  void SendPointerMove(std::int32_t, std::int32_t, bool) override {}
  void SendPointerButton(std::uint32_t) override {}
  void SendKeyEvent(std::uint16_t, bool) override {}
  std::optional<LayoutKey> ScanCharacter(std::uint8_t) override { return std::nullopt; }
};

}  // namespace

std::unique_ptr<DesktopCapture> MakeLinuxDesktop() { return MakeDesktopCapture(); }

std::unique_ptr<InputSink> MakeLinuxInputSink() { return std::make_unique<NoInputSink>(); }

}  // namespace ravelo
