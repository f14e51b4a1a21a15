// One copy is always under way into the buffer the newest frame is not in: on an idle screen it
// waits in the compositor until something changes, so a request costs a dispatch and the view,
// never a round trip. Both protocols are asked to paint the cursor in (a compositor that draws
// it in software has it in every frame anyway), so it is never drawn here.
#include "imaging/wayland/wayland_capture.h"

#include <array>
#include <chrono>
#include <string>
#include <vector>

#include "imaging/wayland/frame_book.h"
#include "imaging/view/view_picture.h"
#include "linux/wayland/shm_buffer.h"
#include "linux/wayland/wayland_connection.h"

namespace ravelo::wayland {
namespace {

// How long a request waits for the first frame before it goes unanswered.
constexpr std::chrono::milliseconds kFirstFrameWait{250};

const view::CursorPicture kNoCursor{};

class ScreenCopyCapture : public DesktopCapture {
 public:
  explicit ScreenCopyCapture(std::shared_ptr<Connection> connection) : connection_(std::move(connection)) {}

  bool DesktopSize(uint16_t& width, uint16_t& height) override {
    connection_->Dispatch();
    const OutputInfo& o = connection_->OutputState();
    if (!o.present || o.width <= 0 || o.height <= 0 || o.width > 0xFFFF || o.height > 0xFFFF) return false;
    width = static_cast<uint16_t>(o.width);
    height = static_cast<uint16_t>(o.height);
    return true;
  }

  bool CaptureDesktop(bool full, uint16_t x, uint16_t y) override {
    try {
      if (!connection_->Dispatch()) return false;
      // After a failed copy the next one starts with the next request.
      Keep();
      if (!book_.HasFrame() &&
          !connection_->DispatchUntil([this] { return book_.HasFrame() || stopped_; }, kFirstFrameWait))
        return false;
      if (!book_.HasFrame()) return false;
      const SurfaceView frame =
          FrameView(buffers_[book_.NewestSlot()]->Memory(), book_.Layout(), book_.NewestInverted());
      if (full) return view::ComposeFullView(view_, frame, kNoCursor) && view_.Save(kFullViewFile);
      PackRegion(frame, x, y, &region_);
      view::ComposeRegionView(view_, x, y, frame.width, frame.height, region_.data(), kNoCursor);
      return view_.Save(kRegionViewFile);
    } catch (...) {
      // Out of memory: this picture is lost, the server is not.
      return false;
    }
  }

 protected:
  // Starts a copy into the free buffer unless one is under way.
  virtual void Keep() = 0;

  // Takes the layout the compositor will copy in, making the buffers anew for a new one.
  bool Prepare(const FrameLayout& layout) {
    if (!Readable(layout)) return false;
    if (!book_.Configure(layout)) return true;
    for (auto& b : buffers_) b.reset();
    for (auto& b : buffers_) {
      b = ShmBuffer::Create(connection_->Shm(), layout.width, layout.height, layout.stride, layout.format);
      if (!b) {
        // Asked again with the next layout the compositor sends.
        book_ = FrameBook();
        return false;
      }
    }
    return true;
  }

  std::shared_ptr<Connection> connection_;
  FrameBook book_;
  std::array<std::unique_ptr<ShmBuffer>, FrameBook::kSlots> buffers_;
  bool stopped_ = false;

 private:
  view::ViewPicture view_;
  std::vector<uint8_t> region_;
};

// wlr-screencopy: a frame object per copy, which announces the buffer it wants, then copies
// into it (at once the first time, then when the output has changed).
class WlrScreencopyCapture : public ScreenCopyCapture {
 public:
  explicit WlrScreencopyCapture(std::shared_ptr<Connection> connection)
      : ScreenCopyCapture(std::move(connection)) {
    Keep();
  }
  ~WlrScreencopyCapture() override { frame_.reset(); }

 protected:
  void Keep() override {
    if (frame_ || connection_->Broken()) return;
    static const zwlr_screencopy_frame_v1_listener kListener = {
        [](void* data, zwlr_screencopy_frame_v1*, uint32_t format, uint32_t width, uint32_t height, uint32_t stride) {
          static_cast<WlrScreencopyCapture*>(data)->OnBuffer(format, width, height, stride);
        },
        [](void* data, zwlr_screencopy_frame_v1*, uint32_t flags) {
          static_cast<WlrScreencopyCapture*>(data)->inverted_ = (flags & ZWLR_SCREENCOPY_FRAME_V1_FLAGS_Y_INVERT) != 0;
        },
        [](void* data, zwlr_screencopy_frame_v1*, uint32_t, uint32_t, uint32_t) {
          static_cast<WlrScreencopyCapture*>(data)->OnDone(true);
        },
        [](void* data, zwlr_screencopy_frame_v1*) { static_cast<WlrScreencopyCapture*>(data)->OnDone(false); },
        [](void*, zwlr_screencopy_frame_v1*, uint32_t, uint32_t, uint32_t, uint32_t) {},
        [](void*, zwlr_screencopy_frame_v1*, uint32_t, uint32_t, uint32_t) {},
        [](void* data, zwlr_screencopy_frame_v1*) { static_cast<WlrScreencopyCapture*>(data)->OnBufferDone(); },
    };
    frame_.reset(zwlr_screencopy_manager_v1_capture_output(connection_->Screencopy(), 1, connection_->Output()));
    if (!frame_) return;
    offered_.reset();
    inverted_ = false;
    zwlr_screencopy_frame_v1_add_listener(frame_.get(), &kListener, this);
    connection_->Flush();
  }

 private:
  void OnBuffer(uint32_t format, uint32_t width, uint32_t height, uint32_t stride) {
    const FrameLayout layout{static_cast<int32_t>(width), static_cast<int32_t>(height), static_cast<int32_t>(stride),
                             format};
    if (!offered_ && width <= 0x7FFFFFFF && height <= 0x7FFFFFFF && stride <= 0x7FFFFFFF && Readable(layout))
      offered_ = layout;
    // Before version 3 this is the only buffer event, and the copy is due now.
    if (zwlr_screencopy_frame_v1_get_version(frame_.get()) < ZWLR_SCREENCOPY_FRAME_V1_BUFFER_DONE_SINCE_VERSION)
      OnBufferDone();
  }

  void OnBufferDone() {
    std::optional<int> slot;
    if (offered_ && Prepare(*offered_)) slot = book_.BeginCopy();
    if (!slot) {
      // Nothing readable offered, or no memory: tried again with the next request.
      frame_.reset();
      return;
    }
    wl_buffer* target = buffers_[*slot]->Buffer();
    // The first frame is wanted now; later ones only when the screen has changed.
    if (book_.HasFrame()) zwlr_screencopy_frame_v1_copy_with_damage(frame_.get(), target);
    else zwlr_screencopy_frame_v1_copy(frame_.get(), target);
    connection_->Flush();
  }

  void OnDone(bool ready) {
    frame_.reset();
    if (!ready) {
      book_.CopyFailed();
      return;
    }
    book_.CopyReady(inverted_);
    Keep();
  }

  Proxy<zwlr_screencopy_frame_v1> frame_;
  std::optional<FrameLayout> offered_;
  bool inverted_ = false;
};

// ext-image-copy-capture: one session on the output, whose constraints say the buffer to make,
// and a frame object per copy.
class ImageCopyCapture : public ScreenCopyCapture {
 public:
  explicit ImageCopyCapture(std::shared_ptr<Connection> connection) : ScreenCopyCapture(std::move(connection)) {
    static const ext_image_copy_capture_session_v1_listener kListener = {
        [](void* data, ext_image_copy_capture_session_v1*, uint32_t width, uint32_t height) {
          auto* self = static_cast<ImageCopyCapture*>(data);
          self->size_ = {width, height};
        },
        [](void* data, ext_image_copy_capture_session_v1*, uint32_t format) {
          static_cast<ImageCopyCapture*>(data)->formats_.push_back(format);
        },
        [](void*, ext_image_copy_capture_session_v1*, wl_array*) {},
        [](void*, ext_image_copy_capture_session_v1*, uint32_t, wl_array*) {},
        [](void* data, ext_image_copy_capture_session_v1*) { static_cast<ImageCopyCapture*>(data)->OnConstraints(); },
        [](void* data, ext_image_copy_capture_session_v1*) { static_cast<ImageCopyCapture*>(data)->OnStopped(); },
    };
    source_.reset(ext_output_image_capture_source_manager_v1_create_source(connection_->OutputSources(),
                                                                           connection_->Output()));
    if (source_) {
      session_.reset(ext_image_copy_capture_manager_v1_create_session(
          connection_->ImageCopyCapture(), source_.get(), EXT_IMAGE_COPY_CAPTURE_MANAGER_V1_OPTIONS_PAINT_CURSORS));
    }
    if (session_) ext_image_copy_capture_session_v1_add_listener(session_.get(), &kListener, this);
    else stopped_ = true;
    connection_->Flush();
  }
  ~ImageCopyCapture() override {
    frame_.reset();
    session_.reset();
    source_.reset();
  }

 protected:
  void Keep() override {
    if (frame_ || stopped_ || !book_.Configured() || connection_->Broken()) return;
    static const ext_image_copy_capture_frame_v1_listener kListener = {
        [](void*, ext_image_copy_capture_frame_v1*, uint32_t) {},
        [](void*, ext_image_copy_capture_frame_v1*, int32_t, int32_t, int32_t, int32_t) {},
        [](void*, ext_image_copy_capture_frame_v1*, uint32_t, uint32_t, uint32_t) {},
        [](void* data, ext_image_copy_capture_frame_v1*) { static_cast<ImageCopyCapture*>(data)->OnReady(); },
        [](void* data, ext_image_copy_capture_frame_v1*, uint32_t reason) {
          static_cast<ImageCopyCapture*>(data)->OnFailed(reason);
        },
    };
    const std::optional<int> slot = book_.BeginCopy();
    if (!slot) return;
    frame_.reset(ext_image_copy_capture_session_v1_create_frame(session_.get()));
    if (!frame_) {
      book_.CopyFailed();
      return;
    }
    ext_image_copy_capture_frame_v1_add_listener(frame_.get(), &kListener, this);
    ext_image_copy_capture_frame_v1_attach_buffer(frame_.get(), buffers_[*slot]->Buffer());
    // The two buffers take turns, so each has missed the changes of the other's copy: the
    // compositor is told to fill all of it.
    const FrameLayout& l = book_.Layout();
    ext_image_copy_capture_frame_v1_damage_buffer(frame_.get(), 0, 0, l.width, l.height);
    ext_image_copy_capture_frame_v1_capture(frame_.get());
    connection_->Flush();
  }

 private:
  void OnConstraints() {
    const std::optional<uint32_t> format = PickFormat(formats_);
    formats_.clear();
    // A copy under way was made for the old constraints.
    if (frame_) {
      frame_.reset();
      book_.CopyFailed();
    }
    if (!format || size_[0] == 0 || size_[1] == 0 || size_[0] > 0x3FFFFFFF || size_[1] > 0x3FFFFFFF) return;
    const auto width = static_cast<int32_t>(size_[0]);
    if (Prepare(FrameLayout{width, static_cast<int32_t>(size_[1]), width * 4, *format})) Keep();
  }

  void OnReady() {
    frame_.reset();
    book_.CopyReady(false);
    Keep();
  }

  void OnFailed(uint32_t reason) {
    frame_.reset();
    book_.CopyFailed();
    // New constraints follow a mismatch; an unknown failure is tried again with the next request.
    if (reason == EXT_IMAGE_COPY_CAPTURE_FRAME_V1_FAILURE_REASON_STOPPED) stopped_ = true;
  }

  void OnStopped() {
    frame_.reset();
    book_.CopyFailed();
    stopped_ = true;
  }

  Proxy<ext_image_capture_source_v1> source_;
  Proxy<ext_image_copy_capture_session_v1> session_;
  Proxy<ext_image_copy_capture_frame_v1> frame_;
  std::array<uint32_t, 2> size_{};
  std::vector<uint32_t> formats_;
};

}  // namespace

ScreenCopyProtocol ChooseScreenCopy(const Connection& c) {
  if (c.Output() == nullptr || c.Shm() == nullptr) return ScreenCopyProtocol::kNone;
  if (c.ImageCopyCapture() != nullptr && c.OutputSources() != nullptr) return ScreenCopyProtocol::kImageCopyCapture;
  if (c.Screencopy() != nullptr && c.ScreencopyVersion() >= ZWLR_SCREENCOPY_FRAME_V1_COPY_WITH_DAMAGE_SINCE_VERSION)
    return ScreenCopyProtocol::kWlrScreencopy;
  return ScreenCopyProtocol::kNone;
}

const char* ScreenCopyName(ScreenCopyProtocol protocol) {
  switch (protocol) {
    case ScreenCopyProtocol::kImageCopyCapture: return "ext-image-copy-capture";
    case ScreenCopyProtocol::kWlrScreencopy: return "wlr-screencopy";
    default: return "none";
  }
}

std::unique_ptr<DesktopCapture> MakeScreenCopyCapture(const std::shared_ptr<Connection>& connection) {
  if (!connection) return nullptr;
  switch (ChooseScreenCopy(*connection)) {
    case ScreenCopyProtocol::kImageCopyCapture: return std::make_unique<ImageCopyCapture>(connection);
    case ScreenCopyProtocol::kWlrScreencopy: return std::make_unique<WlrScreencopyCapture>(connection);
    default: return nullptr;
  }
}

}  // namespace ravelo::wayland
