#include "app/gtk/wlroots_desktop.h"

#include "imaging/wayland/wayland_capture.h"
#include "input/wayland/virtual_input_sink.h"
#include "linux/wayland/wayland_connection.h"

namespace ravelo {

WlrootsDesktop::~WlrootsDesktop() = default;

std::unique_ptr<WlrootsDesktop> WlrootsDesktop::Open(const char* displayName, std::string* why,
                                                     const wayland::LayoutNames& layout) {
  const auto fail = [why](const std::string& reason) {
    if (why != nullptr) *why = reason;
    return nullptr;
  };
  std::shared_ptr<wayland::Connection> c = wayland::Connection::Open(displayName);
  if (!c) return fail("no Wayland compositor answers");
  if (c->Output() == nullptr) return fail("no output");
  const wayland::ScreenCopyProtocol protocol = wayland::ChooseScreenCopy(*c);
  if (protocol == wayland::ScreenCopyProtocol::kNone) return fail("no screen-copy protocol");
  if (c->VirtualPointers() == nullptr && c->VirtualKeyboards() == nullptr) return fail("no virtual-input protocols");

  std::unique_ptr<WlrootsDesktop> d(new WlrootsDesktop());
  d->connection_ = c;
  // The devices first: the cursor appears with the pointer, and the first frame shows it.
  std::string reason;
  d->input_ = wayland::MakeVirtualInputSink(c, layout, &reason);
  if (!d->input_) return fail(reason);
  d->capture_ = wayland::MakeScreenCopyCapture(c);
  if (!d->capture_) return fail("no screen-copy protocol");
  const wayland::OutputInfo& o = c->OutputState();
  d->description_ = std::string(wayland::ScreenCopyName(protocol)) +
                    " and virtual pointer and keyboard of the compositor, output " +
                    (o.name.empty() ? std::string("1") : o.name) + " (" + std::to_string(o.width) + "x" +
                    std::to_string(o.height) + ")";
  return d;
}

int WlrootsDesktop::Fd() const { return connection_->Fd(); }

bool WlrootsDesktop::Dispatch() { return connection_->Dispatch(); }

}  // namespace ravelo
