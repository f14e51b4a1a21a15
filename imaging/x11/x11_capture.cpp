// Over XCB rather than Xlib: the size, cursor and screen requests go out together and are
// answered in one round trip, and a failed request comes back as a value, with no
// process-wide error handler to share with a toolkit. The server copies the screen into
// shared memory once; the halftone reads it there.
#include "imaging/x11/x11_capture.h"

#include <sys/ipc.h>
#include <sys/shm.h>
#include <xcb/shm.h>
#include <xcb/xcb.h>
#include <xcb/xfixes.h>

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <optional>
#include <vector>

#include "imaging/view/view_picture.h"
#include "linux/x11/xcb_connection.h"

namespace ravelo {
namespace {

using view::CursorPicture;
using view::Rect;
using x11::Reply;

bool HasExtension(xcb_connection_t* c, xcb_extension_t* ext) {
  const xcb_query_extension_reply_t* r = xcb_get_extension_data(c, ext);
  return r != nullptr && r->present;
}

// A shared-memory segment the server writes the grab into, attached on both sides.
class SharedFrame {
 public:
  explicit SharedFrame(xcb_connection_t* c) : connection_(c) {}
  ~SharedFrame() { Release(); }
  SharedFrame(const SharedFrame&) = delete;
  SharedFrame& operator=(const SharedFrame&) = delete;

  bool Create(size_t bytes) {
    Release();
    const int id = shmget(IPC_PRIVATE, bytes, IPC_CREAT | 0600);
    if (id < 0) return false;
    void* at = shmat(id, nullptr, 0);
    if (at == reinterpret_cast<void*>(-1)) {
      shmctl(id, IPC_RMID, nullptr);
      return false;
    }
    const xcb_shm_seg_t seg = xcb_generate_id(connection_);
    xcb_generic_error_t* error =
        xcb_request_check(connection_, xcb_shm_attach_checked(connection_, seg, static_cast<uint32_t>(id), 0));
    // Once both sides hold it, the segment goes with the last detach, also after a crash.
    shmctl(id, IPC_RMID, nullptr);
    if (error != nullptr) {
      std::free(error);
      shmdt(at);
      return false;
    }
    memory_ = static_cast<uint8_t*>(at);
    segment_ = seg;
    bytes_ = bytes;
    return true;
  }

  void Release() {
    if (memory_ == nullptr) return;
    xcb_shm_detach(connection_, segment_);
    xcb_flush(connection_);
    shmdt(memory_);
    memory_ = nullptr;
    bytes_ = 0;
  }

  uint8_t* Memory() const { return memory_; }
  size_t Bytes() const { return bytes_; }
  xcb_shm_seg_t Segment() const { return segment_; }

 private:
  xcb_connection_t* connection_;
  uint8_t* memory_ = nullptr;
  size_t bytes_ = 0;
  xcb_shm_seg_t segment_ = 0;
};

// One grab request in flight: through the shared segment, or a plain reply to copy from.
struct PendingGrab {
  Rect area;
  xcb_shm_get_image_cookie_t shm{};
  xcb_get_image_cookie_t plain{};
};

class X11DesktopCapture : public DesktopCapture {
 public:
  X11DesktopCapture(xcb_connection_t* c, xcb_window_t root, bool shm, bool xfixes)
      : connection_(c), root_(root), use_shm_(shm), xfixes_(xfixes), shared_(c) {}
  ~X11DesktopCapture() override {
    shared_.Release();
    xcb_disconnect(connection_);
  }
  X11DesktopCapture(const X11DesktopCapture&) = delete;
  X11DesktopCapture& operator=(const X11DesktopCapture&) = delete;

  bool DesktopSize(uint16_t& width, uint16_t& height) override {
    Reply<xcb_get_geometry_reply_t> g(
        xcb_get_geometry_reply(connection_, xcb_get_geometry(connection_, root_), nullptr));
    if (!g || g->width == 0 || g->height == 0) return false;
    width = g->width;
    height = g->height;
    return true;
  }

  bool CaptureDesktop(bool full, uint16_t x, uint16_t y) override {
    try {
      // A second try only when the screen changed size under the first.
      for (int attempt = 0; attempt < 2; ++attempt) {
        const Outcome o = Attempt(full, x, y);
        if (o != Outcome::kResized) return o == Outcome::kDone;
      }
    } catch (...) {
      // Out of memory: this picture is lost, the server is not.
    }
    return false;
  }

 private:
  enum class Outcome { kDone, kFailed, kResized };

  Outcome Attempt(bool full, uint16_t x, uint16_t y) {
    if (xcb_connection_has_error(connection_)) return Outcome::kFailed;
    const xcb_get_geometry_cookie_t geometry = xcb_get_geometry(connection_, root_);
    xcb_xfixes_get_cursor_image_cookie_t cursorCookie{};
    if (xfixes_) cursorCookie = xcb_xfixes_get_cursor_image(connection_);
    bool sizeKnown = false;
    if (width_ == 0) {
      // First capture: the frame is made to the screen's size before anything is asked.
      Reply<xcb_get_geometry_reply_t> g(xcb_get_geometry_reply(connection_, geometry, nullptr));
      if (!g || !Resize(g->width, g->height)) {
        DropCursor(cursorCookie);
        return Outcome::kFailed;
      }
      sizeKnown = true;
    }

    // Asked for on the size last seen; the geometry's answer comes first and tells
    // whether that still holds.
    std::optional<PendingGrab> grab;
    const Rect region = view::RegionOnDesktop(x, y, width_, height_);
    if (full) grab = Ask(Rect{0, 0, width_, height_});
    else if (!region.Empty()) grab = Ask(region);
    xcb_flush(connection_);

    if (!sizeKnown) {
      Reply<xcb_get_geometry_reply_t> g(xcb_get_geometry_reply(connection_, geometry, nullptr));
      if (!g || g->width != width_ || g->height != height_) {
        DropCursor(cursorCookie);
        if (grab) Drop(*grab);
        if (!g || !Resize(g->width, g->height)) return Outcome::kFailed;
        return Outcome::kResized;
      }
    }
    const CursorPicture cursor = ReadCursor(cursorCookie);
    uint8_t* rows = use_shm_ ? shared_.Memory() : plain_.data();

    if (full) {
      if (!Receive(*grab, rows)) return Outcome::kFailed;
      const SurfaceView screen{rows, static_cast<ptrdiff_t>(width_) * 4, width_, height_, 32};
      if (!view::ComposeFullView(view_, screen, cursor)) return Outcome::kFailed;
      return view_.Save(kFullViewFile) ? Outcome::kDone : Outcome::kFailed;
    }
    if (grab && !Receive(*grab, rows)) return Outcome::kFailed;
    view::ComposeRegionView(view_, x, y, width_, height_, rows, cursor);
    return view_.Save(kRegionViewFile) ? Outcome::kDone : Outcome::kFailed;
  }

  // Keeps one frame the size of the screen for every capture until the size changes.
  bool Resize(int32_t width, int32_t height) {
    if (width <= 0 || height <= 0) return false;
    const size_t bytes = static_cast<size_t>(width) * static_cast<size_t>(height) * 4;
    width_ = 0;
    height_ = 0;
    if (use_shm_ && !shared_.Create(bytes)) {
      // A server that cannot share memory with us (another machine, another user's
      // server): plain replies, copied once more.
      use_shm_ = false;
    }
    if (!use_shm_) {
      std::vector<uint8_t>().swap(plain_);
      plain_.resize(bytes);
    }
    width_ = width;
    height_ = height;
    return true;
  }

  PendingGrab Ask(const Rect& area) {
    PendingGrab g;
    g.area = area;
    const auto x = static_cast<int16_t>(area.left);
    const auto y = static_cast<int16_t>(area.top);
    const auto w = static_cast<uint16_t>(area.width);
    const auto h = static_cast<uint16_t>(area.height);
    if (use_shm_) {
      g.shm = xcb_shm_get_image(connection_, root_, x, y, w, h, ~0u, XCB_IMAGE_FORMAT_Z_PIXMAP,
                                shared_.Segment(), 0);
    } else {
      g.plain = xcb_get_image(connection_, XCB_IMAGE_FORMAT_Z_PIXMAP, root_, x, y, w, h, ~0u);
    }
    return g;
  }

  // Waits for one grab; plain replies are copied to `rows` (32-bit rows of the area's width).
  bool Receive(const PendingGrab& g, uint8_t* rows) {
    const size_t bytes = static_cast<size_t>(g.area.width) * static_cast<size_t>(g.area.height) * 4;
    if (use_shm_) {
      Reply<xcb_shm_get_image_reply_t> r(xcb_shm_get_image_reply(connection_, g.shm, nullptr));
      return r && r->size >= bytes;
    }
    Reply<xcb_get_image_reply_t> r(xcb_get_image_reply(connection_, g.plain, nullptr));
    if (!r || static_cast<size_t>(xcb_get_image_data_length(r.get())) < bytes) return false;
    std::memcpy(rows, xcb_get_image_data(r.get()), bytes);
    return true;
  }

  void Drop(const PendingGrab& g) {
    if (use_shm_) std::free(xcb_shm_get_image_reply(connection_, g.shm, nullptr));
    else std::free(xcb_get_image_reply(connection_, g.plain, nullptr));
  }

  void DropCursor(xcb_xfixes_get_cursor_image_cookie_t cookie) {
    if (xfixes_) std::free(xcb_xfixes_get_cursor_image_reply(connection_, cookie, nullptr));
  }

  CursorPicture ReadCursor(xcb_xfixes_get_cursor_image_cookie_t cookie) {
    CursorPicture cursor;
    if (!xfixes_) return cursor;
    Reply<xcb_xfixes_get_cursor_image_reply_t> r(
        xcb_xfixes_get_cursor_image_reply(connection_, cookie, nullptr));
    if (!r) return cursor;
    const int n = xcb_xfixes_get_cursor_image_cursor_image_length(r.get());
    if (n < int{r->width} * int{r->height}) return cursor;
    const uint32_t* argb = xcb_xfixes_get_cursor_image_cursor_image(r.get());
    cursor.left = int32_t{r->x} - r->xhot;
    cursor.top = int32_t{r->y} - r->yhot;
    cursor.width = r->width;
    cursor.height = r->height;
    cursor.argb.assign(argb, argb + static_cast<size_t>(r->width) * r->height);
    return cursor;
  }

  xcb_connection_t* connection_;
  xcb_window_t root_;
  bool use_shm_;
  bool xfixes_;
  SharedFrame shared_;
  std::vector<uint8_t> plain_;  // the frame when memory cannot be shared
  int32_t width_ = 0;
  int32_t height_ = 0;
  view::ViewPicture view_;
};

// The halftone and the copies read B, G, R from 32-bit pixels: a 24-bit true-colour root
// in the server's LSB-first order is exactly that.
bool RootIsBgrx(const xcb_setup_t* setup, const xcb_screen_t* screen) {
  if (setup->image_byte_order != XCB_IMAGE_ORDER_LSB_FIRST) return false;
  bool format = false;
  for (xcb_format_iterator_t f = xcb_setup_pixmap_formats_iterator(setup); f.rem > 0; xcb_format_next(&f))
    if (f.data->depth == screen->root_depth) format = f.data->bits_per_pixel == 32;
  if (!format) return false;
  for (xcb_depth_iterator_t d = xcb_screen_allowed_depths_iterator(screen); d.rem > 0; xcb_depth_next(&d)) {
    for (xcb_visualtype_iterator_t v = xcb_depth_visuals_iterator(d.data); v.rem > 0; xcb_visualtype_next(&v)) {
      if (v.data->visual_id != screen->root_visual) continue;
      return v.data->_class == XCB_VISUAL_CLASS_TRUE_COLOR && v.data->red_mask == 0xFF0000 &&
             v.data->green_mask == 0x00FF00 && v.data->blue_mask == 0x0000FF;
    }
  }
  return false;
}

}  // namespace

std::unique_ptr<DesktopCapture> MakeX11DesktopCapture(const char* displayName) {
  xcb_screen_t* screen = nullptr;
  xcb_connection_t* c = x11::ConnectToScreen(displayName, &screen);
  if (c == nullptr) return nullptr;
  if (!RootIsBgrx(xcb_get_setup(c), screen)) {
    xcb_disconnect(c);
    return nullptr;
  }
  // An extension must be announced before its first request, which would otherwise close
  // the connection.
  bool shm = false;
  if (HasExtension(c, &xcb_shm_id)) {
    Reply<xcb_shm_query_version_reply_t> v(xcb_shm_query_version_reply(c, xcb_shm_query_version(c), nullptr));
    shm = v != nullptr;
  }
  bool xfixes = false;
  if (HasExtension(c, &xcb_xfixes_id)) {
    Reply<xcb_xfixes_query_version_reply_t> v(
        xcb_xfixes_query_version_reply(c, xcb_xfixes_query_version(c, 4, 0), nullptr));
    xfixes = v != nullptr && v->major_version >= 1;
  }
  try {
    return std::make_unique<X11DesktopCapture>(c, screen->root, shm, xfixes);
  } catch (...) {
    xcb_disconnect(c);
    return nullptr;
  }
}

}  // namespace ravelo
