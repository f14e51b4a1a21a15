#include "linux/wayland/wayland_connection.h"

#include <poll.h>
#include <time.h>

#include <algorithm>
#include <cerrno>
#include <cstring>

namespace ravelo::wayland {
namespace {

// Versions asked for: the newest whose events this file handles.
constexpr uint32_t kOutputVersion = 4;  // name
constexpr uint32_t kScreencopyVersion = 3;
constexpr uint32_t kPointersVersion = 2;  // pointers mapped to one output

template <typename T>
T* Bind(wl_registry* registry, uint32_t name, const wl_interface* interface, uint32_t offered, uint32_t wanted) {
  return static_cast<T*>(wl_registry_bind(registry, name, interface, std::min(offered, wanted)));
}

// Events the connection does not need, answered so that none goes unheard.
void SeatCapabilities(void*, wl_seat*, uint32_t) {}
void SeatName(void*, wl_seat*, const char*) {}
const wl_seat_listener kSeatListener = {SeatCapabilities, SeatName};

void OutputGeometry(void*, wl_output*, int32_t, int32_t, int32_t, int32_t, int32_t, const char*, const char*, int32_t) {}
void OutputMode(void* data, wl_output*, uint32_t flags, int32_t width, int32_t height, int32_t) {
  if ((flags & WL_OUTPUT_MODE_CURRENT) == 0) return;
  auto* info = static_cast<OutputInfo*>(data);
  info->width = width;
  info->height = height;
}
void OutputDone(void*, wl_output*) {}
void OutputScale(void*, wl_output*, int32_t) {}
void OutputName(void* data, wl_output*, const char* name) { static_cast<OutputInfo*>(data)->name = name; }
void OutputDescription(void*, wl_output*, const char*) {}
const wl_output_listener kOutputListener = {OutputGeometry, OutputMode,  OutputDone,
                                            OutputScale,    OutputName, OutputDescription};

}  // namespace

uint32_t EventTime() {
  timespec now{};
  clock_gettime(CLOCK_MONOTONIC, &now);
  return static_cast<uint32_t>(static_cast<uint64_t>(now.tv_sec) * 1000u + static_cast<uint64_t>(now.tv_nsec) / 1000000u);
}

Connection::Connection(wl_display* display) : display_(display) {}

Connection::~Connection() {
  // Every proxy before the display, and what was queued is sent before the socket closes.
  keyboards_.reset();
  pointers_.reset();
  output_sources_.reset();
  image_copy_.reset();
  screencopy_.reset();
  output_.reset();
  seat_.reset();
  shm_.reset();
  registry_.reset();
  if (display_) wl_display_flush(display_.get());
}

std::shared_ptr<Connection> Connection::Open(const char* displayName) {
  wl_display* display = wl_display_connect(displayName);
  if (display == nullptr) return nullptr;
  std::shared_ptr<Connection> c(new Connection(display));
  static const wl_registry_listener kRegistryListener = {
      [](void* data, wl_registry* registry, uint32_t name, const char* interface, uint32_t version) {
        static_cast<Connection*>(data)->OnGlobal(registry, name, interface, version);
      },
      [](void* data, wl_registry*, uint32_t name) { static_cast<Connection*>(data)->OnGlobalRemove(name); },
  };
  c->registry_.reset(wl_display_get_registry(display));
  if (!c->registry_) return nullptr;
  wl_registry_add_listener(c->registry_.get(), &kRegistryListener, c.get());
  // The first round trip announces the globals, the second the output's mode and name.
  if (!c->Roundtrip() || !c->Roundtrip()) return nullptr;
  return c;
}

void Connection::OnGlobal(wl_registry* registry, uint32_t name, const char* interface, uint32_t version) {
  const auto is = [interface](const wl_interface& i) { return std::strcmp(interface, i.name) == 0; };
  if (is(wl_shm_interface) && !shm_) {
    shm_.reset(Bind<wl_shm>(registry, name, &wl_shm_interface, version, 1));
  } else if (is(wl_seat_interface) && !seat_) {
    seat_.reset(Bind<wl_seat>(registry, name, &wl_seat_interface, version, 2));
    if (seat_) wl_seat_add_listener(seat_.get(), &kSeatListener, nullptr);
  } else if (is(wl_output_interface) && !output_) {
    // The first output announced: there is no primary output on Wayland.
    output_.reset(Bind<wl_output>(registry, name, &wl_output_interface, version, kOutputVersion));
    if (output_) {
      output_name_ = name;
      output_info_.present = true;
      wl_output_add_listener(output_.get(), &kOutputListener, &output_info_);
    }
  } else if (is(zwlr_screencopy_manager_v1_interface) && !screencopy_) {
    screencopy_.reset(Bind<zwlr_screencopy_manager_v1>(registry, name, &zwlr_screencopy_manager_v1_interface,
                                                       version, kScreencopyVersion));
    screencopy_version_ = std::min(version, kScreencopyVersion);
  } else if (is(ext_image_copy_capture_manager_v1_interface) && !image_copy_) {
    image_copy_.reset(Bind<ext_image_copy_capture_manager_v1>(registry, name,
                                                              &ext_image_copy_capture_manager_v1_interface, version, 1));
  } else if (is(ext_output_image_capture_source_manager_v1_interface) && !output_sources_) {
    output_sources_.reset(Bind<ext_output_image_capture_source_manager_v1>(
        registry, name, &ext_output_image_capture_source_manager_v1_interface, version, 1));
  } else if (is(zwlr_virtual_pointer_manager_v1_interface) && !pointers_) {
    pointers_.reset(Bind<zwlr_virtual_pointer_manager_v1>(registry, name, &zwlr_virtual_pointer_manager_v1_interface,
                                                          version, kPointersVersion));
    pointers_version_ = std::min(version, kPointersVersion);
  } else if (is(zwp_virtual_keyboard_manager_v1_interface) && !keyboards_) {
    keyboards_.reset(Bind<zwp_virtual_keyboard_manager_v1>(registry, name, &zwp_virtual_keyboard_manager_v1_interface,
                                                           version, 1));
  }
}

void Connection::OnGlobalRemove(uint32_t name) {
  // The proxy stays until the connection goes: the objects made on it may still name it.
  if (output_ && name == output_name_) output_info_.present = false;
}

int Connection::Fd() const { return wl_display_get_fd(display_.get()); }

bool Connection::Broken() const { return wl_display_get_error(display_.get()) != 0; }

void Connection::Flush() { wl_display_flush(display_.get()); }

bool Connection::Pump(int timeoutMs) {
  wl_display* d = display_.get();
  // Reading takes the queue's lock; what was read before is handled first.
  while (wl_display_prepare_read(d) != 0) {
    if (wl_display_dispatch_pending(d) < 0) return false;
  }
  if (wl_display_flush(d) < 0 && errno != EAGAIN) {
    wl_display_cancel_read(d);
    return false;
  }
  pollfd p{wl_display_get_fd(d), POLLIN, 0};
  const int ready = poll(&p, 1, timeoutMs);
  if (ready > 0) {
    if (wl_display_read_events(d) < 0) return false;
  } else {
    wl_display_cancel_read(d);
    if (ready < 0 && errno != EINTR) return false;
  }
  return wl_display_dispatch_pending(d) >= 0;
}

bool Connection::Dispatch() { return Pump(0); }

bool Connection::Roundtrip(std::chrono::milliseconds timeout) {
  static const wl_callback_listener kDone = {
      [](void* data, wl_callback*, uint32_t) { *static_cast<bool*>(data) = true; },
  };
  bool done = false;
  Proxy<wl_callback> sync(wl_display_sync(display_.get()));
  if (!sync) return false;
  wl_callback_add_listener(sync.get(), &kDone, &done);
  return DispatchUntil([&done] { return done; }, timeout);
}

bool Connection::DispatchUntil(const std::function<bool()>& done, std::chrono::milliseconds timeout) {
  const auto deadline = std::chrono::steady_clock::now() + timeout;
  for (;;) {
    if (wl_display_dispatch_pending(display_.get()) < 0) return false;
    if (done()) return true;
    const auto left = std::chrono::ceil<std::chrono::milliseconds>(deadline - std::chrono::steady_clock::now());
    if (left.count() <= 0 || !Pump(static_cast<int>(left.count()))) return false;
  }
}

}  // namespace ravelo::wayland
