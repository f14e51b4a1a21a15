// One connection to a Wayland compositor, of the program's own (never the toolkit's), and the
// globals that the screen capture and the virtual input use. Not thread-safe: everything runs
// on the main loop's thread.
#pragma once

#include <wayland-client.h>

#include <chrono>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>

#include "ext-image-capture-source-v1-client-protocol.h"
#include "ext-image-copy-capture-v1-client-protocol.h"
#include "virtual-keyboard-unstable-v1-client-protocol.h"
#include "wlr-screencopy-unstable-v1-client-protocol.h"
#include "wlr-virtual-pointer-unstable-v1-client-protocol.h"

namespace ravelo::wayland {

// Proxies owned like any other handle: each goes with its protocol's destructor request.
struct ProxyDeleter {
  void operator()(wl_registry* p) const { wl_registry_destroy(p); }
  void operator()(wl_callback* p) const { wl_callback_destroy(p); }
  void operator()(wl_shm* p) const { wl_shm_destroy(p); }
  void operator()(wl_seat* p) const { wl_seat_destroy(p); }
  void operator()(wl_output* p) const {
    if (wl_output_get_version(p) >= WL_OUTPUT_RELEASE_SINCE_VERSION) wl_output_release(p);
    else wl_output_destroy(p);
  }
  void operator()(zwlr_screencopy_manager_v1* p) const { zwlr_screencopy_manager_v1_destroy(p); }
  void operator()(zwlr_screencopy_frame_v1* p) const { zwlr_screencopy_frame_v1_destroy(p); }
  void operator()(ext_image_copy_capture_manager_v1* p) const { ext_image_copy_capture_manager_v1_destroy(p); }
  void operator()(ext_output_image_capture_source_manager_v1* p) const {
    ext_output_image_capture_source_manager_v1_destroy(p);
  }
  void operator()(ext_image_capture_source_v1* p) const { ext_image_capture_source_v1_destroy(p); }
  void operator()(ext_image_copy_capture_session_v1* p) const { ext_image_copy_capture_session_v1_destroy(p); }
  void operator()(ext_image_copy_capture_frame_v1* p) const { ext_image_copy_capture_frame_v1_destroy(p); }
  void operator()(zwlr_virtual_pointer_manager_v1* p) const { zwlr_virtual_pointer_manager_v1_destroy(p); }
  void operator()(zwlr_virtual_pointer_v1* p) const { zwlr_virtual_pointer_v1_destroy(p); }
  void operator()(zwp_virtual_keyboard_manager_v1* p) const { zwp_virtual_keyboard_manager_v1_destroy(p); }
  void operator()(zwp_virtual_keyboard_v1* p) const { zwp_virtual_keyboard_v1_destroy(p); }
};
template <typename T>
using Proxy = std::unique_ptr<T, ProxyDeleter>;

// The output that is captured and that absolute pointer moves land on: its mode in pixels.
struct OutputInfo {
  std::string name;  // such as "HEADLESS-1"; empty before wl_output version 4
  int32_t width = 0;
  int32_t height = 0;
  bool present = false;  // false once the compositor removed it
};

class Connection {
 public:
  // Connects to `displayName` (null: $WAYLAND_DISPLAY; a name or an absolute socket path) and
  // learns the globals and the first output's mode. Null when no compositor answers.
  static std::shared_ptr<Connection> Open(const char* displayName);
  ~Connection();
  Connection(const Connection&) = delete;
  Connection& operator=(const Connection&) = delete;

  int Fd() const;
  // Handles what the compositor has sent, never waiting for more, and sends what is queued.
  // False once the connection is broken.
  bool Dispatch();
  // Handles events as they come until `done()` holds; false when `timeout` ran out first or
  // the connection broke.
  bool DispatchUntil(const std::function<bool()>& done, std::chrono::milliseconds timeout);
  // Waits until the compositor has handled every request sent so far, handling what it sends
  // meanwhile; false when that takes longer than `timeout` or the connection broke.
  bool Roundtrip(std::chrono::milliseconds timeout = std::chrono::seconds(2));
  // Sends the queued requests; what the socket cannot take now goes with the next dispatch.
  void Flush();
  bool Broken() const;

  // The globals; null where the compositor lacks them.
  wl_shm* Shm() const { return shm_.get(); }
  wl_seat* Seat() const { return seat_.get(); }
  wl_output* Output() const { return output_.get(); }
  const OutputInfo& OutputState() const { return output_info_; }
  zwlr_screencopy_manager_v1* Screencopy() const { return screencopy_.get(); }
  uint32_t ScreencopyVersion() const { return screencopy_version_; }
  ext_image_copy_capture_manager_v1* ImageCopyCapture() const { return image_copy_.get(); }
  ext_output_image_capture_source_manager_v1* OutputSources() const { return output_sources_.get(); }
  zwlr_virtual_pointer_manager_v1* VirtualPointers() const { return pointers_.get(); }
  uint32_t VirtualPointersVersion() const { return pointers_version_; }
  zwp_virtual_keyboard_manager_v1* VirtualKeyboards() const { return keyboards_.get(); }

 private:
  explicit Connection(wl_display* display);
  void OnGlobal(wl_registry* registry, uint32_t name, const char* interface, uint32_t version);
  void OnGlobalRemove(uint32_t name);
  // Reads and handles what arrives within `timeoutMs` (0: what is there now).
  bool Pump(int timeoutMs);

  struct DisplayDeleter {
    void operator()(wl_display* d) const { wl_display_disconnect(d); }
  };

  std::unique_ptr<wl_display, DisplayDeleter> display_;
  Proxy<wl_registry> registry_;
  Proxy<wl_shm> shm_;
  Proxy<wl_seat> seat_;
  Proxy<wl_output> output_;
  uint32_t output_name_ = 0;
  OutputInfo output_info_;
  Proxy<zwlr_screencopy_manager_v1> screencopy_;
  uint32_t screencopy_version_ = 0;
  Proxy<ext_image_copy_capture_manager_v1> image_copy_;
  Proxy<ext_output_image_capture_source_manager_v1> output_sources_;
  Proxy<zwlr_virtual_pointer_manager_v1> pointers_;
  uint32_t pointers_version_ = 0;
  Proxy<zwp_virtual_keyboard_manager_v1> keyboards_;
};

// Milliseconds of the monotonic clock, the time stamp of injected events.
uint32_t EventTime();

}  // namespace ravelo::wayland
