// Shared memory only: the stream offers no DMA-BUF modifiers, so a producer with a GPU
// still hands over MemFd buffers, which the program reads without a graphics context.
#include "imaging/portal/pipewire_stream.h"

#include <glib-unix.h>
#include <glib.h>
#include <pipewire/pipewire.h>
#include <spa/buffer/meta.h>
#include <spa/param/video/format-utils.h>
#include <spa/pod/builder.h>
#include <spa/utils/result.h>
#include <unistd.h>

#include <chrono>
#include <string>

namespace ravelo::portal {
namespace {

// Room for cursor bitmaps up to this side; larger cursors come without a bitmap.
constexpr std::uint32_t kCursorMetaSide = 256;

constexpr std::uint32_t CursorMetaSize(std::uint32_t side) {
  return static_cast<std::uint32_t>(sizeof(spa_meta_cursor) + sizeof(spa_meta_bitmap)) + side * side * 4;
}

void InitPipeWire() {
  static const bool initialised = [] {
    pw_init(nullptr, nullptr);
    return true;
  }();
  (void)initialised;
}

struct LoopDeleter {
  void operator()(pw_loop* l) const {
    pw_loop_leave(l);
    pw_loop_destroy(l);
  }
};
struct ContextDeleter {
  void operator()(pw_context* c) const { pw_context_destroy(c); }
};
struct CoreDeleter {
  void operator()(pw_core* c) const { pw_core_disconnect(c); }
};
struct StreamDeleter {
  void operator()(pw_stream* s) const { pw_stream_destroy(s); }
};

class Stream : public PipeWireStream {
 public:
  explicit Stream(bool cursorMetadata) : cursorMetadata_(cursorMetadata) {}
  ~Stream() override {
    // Ending the stream reports its state: nothing of this object may be told any more.
    if (streamListener_.link.next != nullptr) spa_hook_remove(&streamListener_);
    if (coreListener_.link.next != nullptr) spa_hook_remove(&coreListener_);
    if (watch_ != 0) g_source_remove(watch_);
    if (report_ != 0) g_source_remove(report_);
    // Buffers go back before the stream that owns them.
    if (stream_ && held_ != nullptr) pw_stream_queue_buffer(stream_.get(), held_);
    held_ = nullptr;
    stream_.reset();
    core_.reset();
    context_.reset();
    loop_.reset();
  }
  Stream(const Stream&) = delete;
  Stream& operator=(const Stream&) = delete;

  bool Connect(int fd, std::uint32_t node) {
    loop_.reset(pw_loop_new(nullptr));
    if (!loop_) {
      ::close(fd);
      return false;
    }
    pw_loop_enter(loop_.get());
    context_.reset(pw_context_new(loop_.get(), nullptr, 0));
    if (!context_) {
      ::close(fd);
      return false;
    }
    core_.reset(pw_context_connect_fd(context_.get(), fd, nullptr, 0));  // takes the descriptor
    if (!core_) return false;
    static const pw_core_events coreEvents = [] {
      pw_core_events e{};
      e.version = PW_VERSION_CORE_EVENTS;
      e.error = [](void* self, std::uint32_t id, int, int res, const char* message) {
        if (id == PW_ID_CORE) static_cast<Stream*>(self)->Lose(message != nullptr ? message : spa_strerror(res));
      };
      return e;
    }();
    pw_core_add_listener(core_.get(), &coreListener_, &coreEvents, this);

    stream_.reset(pw_stream_new(core_.get(), "ravelo",
                                pw_properties_new(PW_KEY_MEDIA_TYPE, "Video", PW_KEY_MEDIA_CATEGORY, "Capture",
                                                  PW_KEY_MEDIA_ROLE, "Screen", nullptr)));
    if (!stream_) return false;
    static const pw_stream_events streamEvents = [] {
      pw_stream_events e{};
      e.version = PW_VERSION_STREAM_EVENTS;
      e.state_changed = [](void* self, pw_stream_state, pw_stream_state state, const char* error) {
        static_cast<Stream*>(self)->StateChanged(state, error);
      };
      e.param_changed = [](void* self, std::uint32_t id, const spa_pod* param) {
        static_cast<Stream*>(self)->ParamChanged(id, param);
      };
      e.remove_buffer = [](void* self, pw_buffer* b) { static_cast<Stream*>(self)->RemoveBuffer(b); };
      e.process = [](void* self) { static_cast<Stream*>(self)->Process(); };
      return e;
    }();
    pw_stream_add_listener(stream_.get(), &streamListener_, &streamEvents, this);

    std::uint8_t buffer[1024];
    spa_pod_builder b = SPA_POD_BUILDER_INIT(buffer, sizeof buffer);
    spa_rectangle size{1920, 1080}, minSize{1, 1}, maxSize{16384, 16384};
    spa_fraction rate{0, 1}, minRate{0, 1}, maxRate{1000, 1};
    const spa_pod* format = static_cast<const spa_pod*>(spa_pod_builder_add_object(
        &b, SPA_TYPE_OBJECT_Format, SPA_PARAM_EnumFormat, SPA_FORMAT_mediaType, SPA_POD_Id(SPA_MEDIA_TYPE_video),
        SPA_FORMAT_mediaSubtype, SPA_POD_Id(SPA_MEDIA_SUBTYPE_raw), SPA_FORMAT_VIDEO_format,
        SPA_POD_CHOICE_ENUM_Id(5, SPA_VIDEO_FORMAT_BGRx, SPA_VIDEO_FORMAT_BGRx, SPA_VIDEO_FORMAT_BGRA,
                               SPA_VIDEO_FORMAT_RGBx, SPA_VIDEO_FORMAT_RGBA),
        SPA_FORMAT_VIDEO_size, SPA_POD_CHOICE_RANGE_Rectangle(&size, &minSize, &maxSize), SPA_FORMAT_VIDEO_framerate,
        SPA_POD_CHOICE_RANGE_Fraction(&rate, &minRate, &maxRate)));
    const spa_pod* params[] = {format};
    const auto flags = static_cast<pw_stream_flags>(PW_STREAM_FLAG_AUTOCONNECT | PW_STREAM_FLAG_MAP_BUFFERS);
    if (pw_stream_connect(stream_.get(), PW_DIRECTION_INPUT, node, flags, params, 1) < 0) return false;

    watch_ = g_unix_fd_add(pw_loop_get_fd(loop_.get()), G_IO_IN,
                           [](int, GIOCondition, gpointer self) -> gboolean {
                             static_cast<Stream*>(self)->Iterate(0);
                             return G_SOURCE_CONTINUE;
                           },
                           this);
    return true;
  }

  const FrameView* NewestFrame(int waitMs) override {
    if (held_ == nullptr && waitMs > 0 && !lost_) {
      const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(waitMs);
      while (held_ == nullptr && !lost_) {
        const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - std::chrono::steady_clock::now());
        if (left.count() <= 0) break;
        Iterate(static_cast<int>(left.count()));
      }
    }
    return held_ != nullptr ? &frame_ : nullptr;
  }

  view::CursorPicture Cursor() override { return cursorMetadata_ ? cursor_.Placed() : view::CursorPicture{}; }

  void OnLost(std::function<void(const char*)> lost) override { onLost_ = std::move(lost); }

 private:
  void Iterate(int timeoutMs) { pw_loop_iterate(loop_.get(), timeoutMs); }

  void Lose(const std::string& why) {
    if (lost_) return;
    lost_ = true;
    why_ = why;
    // Told from the main context: the owner may end the session, and this stream with it.
    report_ = g_idle_add(
        [](gpointer self) -> gboolean {
          auto* s = static_cast<Stream*>(self);
          s->report_ = 0;
          if (s->onLost_) s->onLost_(s->why_.c_str());
          return G_SOURCE_REMOVE;
        },
        this);
  }

  void StateChanged(pw_stream_state state, const char* error) {
    if (state == PW_STREAM_STATE_ERROR) Lose(error != nullptr ? error : "stream error");
    if (state == PW_STREAM_STATE_STREAMING) streamed_ = true;
    // Unconnected after streaming: the node went away, the screen cast ended.
    if (state == PW_STREAM_STATE_UNCONNECTED && streamed_) Lose("the screen-cast stream ended");
  }

  void ParamChanged(std::uint32_t id, const spa_pod* param) {
    if (id != SPA_PARAM_Format || param == nullptr) return;
    spa_video_info_raw info{};
    std::uint32_t mediaType = 0, mediaSubtype = 0;
    if (spa_format_parse(param, &mediaType, &mediaSubtype) < 0 || mediaType != SPA_MEDIA_TYPE_video ||
        mediaSubtype != SPA_MEDIA_SUBTYPE_raw || spa_format_video_raw_parse(param, &info) < 0)
      return;
    const std::optional<PixelOrder> order = PixelOrderOf(info.format);
    if (!order) return;
    frame_.order = *order;
    width_ = static_cast<std::int32_t>(info.size.width);
    height_ = static_cast<std::int32_t>(info.size.height);

    std::uint8_t buffer[1024];
    spa_pod_builder b = SPA_POD_BUILDER_INIT(buffer, sizeof buffer);
    const spa_pod* params[3];
    std::uint32_t n = 0;
    // One buffer stays held by the capture; the producer keeps at least one more.
    params[n++] = static_cast<const spa_pod*>(spa_pod_builder_add_object(
        &b, SPA_TYPE_OBJECT_ParamBuffers, SPA_PARAM_Buffers, SPA_PARAM_BUFFERS_buffers,
        SPA_POD_CHOICE_RANGE_Int(8, 2, 32), SPA_PARAM_BUFFERS_blocks, SPA_POD_Int(1), SPA_PARAM_BUFFERS_dataType,
        SPA_POD_CHOICE_FLAGS_Int((1 << SPA_DATA_MemFd) | (1 << SPA_DATA_MemPtr))));
    params[n++] = static_cast<const spa_pod*>(spa_pod_builder_add_object(
        &b, SPA_TYPE_OBJECT_ParamMeta, SPA_PARAM_Meta, SPA_PARAM_META_type, SPA_POD_Id(SPA_META_Header),
        SPA_PARAM_META_size, SPA_POD_Int(sizeof(spa_meta_header))));
    if (cursorMetadata_) {
      params[n++] = static_cast<const spa_pod*>(spa_pod_builder_add_object(
          &b, SPA_TYPE_OBJECT_ParamMeta, SPA_PARAM_Meta, SPA_PARAM_META_type, SPA_POD_Id(SPA_META_Cursor),
          SPA_PARAM_META_size,
          SPA_POD_CHOICE_RANGE_Int(CursorMetaSize(64), CursorMetaSize(1), CursorMetaSize(kCursorMetaSide))));
    }
    pw_stream_update_params(stream_.get(), params, n);
  }

  void RemoveBuffer(pw_buffer* b) {
    if (b == held_) held_ = nullptr;
  }

  // Whether a buffer carries a whole picture (some carry the cursor's news alone).
  bool IsPicture(pw_buffer* b) const {
    const spa_buffer* sb = b->buffer;
    if (sb->n_datas < 1 || width_ <= 0 || height_ <= 0) return false;
    const spa_data& d = sb->datas[0];
    if (d.data == nullptr || d.chunk == nullptr || d.chunk->size == 0 ||
        (d.chunk->flags & SPA_CHUNK_FLAG_CORRUPTED) != 0)
      return false;
    if (d.type != SPA_DATA_MemFd && d.type != SPA_DATA_MemPtr) return false;
    const auto* header = static_cast<const spa_meta_header*>(
        spa_buffer_find_meta_data(sb, SPA_META_Header, sizeof(spa_meta_header)));
    if (header != nullptr && (header->flags & SPA_META_HEADER_FLAG_CORRUPTED) != 0) return false;
    const std::int64_t stride = d.chunk->stride != 0 ? d.chunk->stride : std::int64_t{width_} * 4;
    return stride >= std::int64_t{width_} * 4 &&
           std::uint64_t{d.chunk->offset} + static_cast<std::uint64_t>(stride) * static_cast<std::uint64_t>(height_) <=
               d.maxsize;
  }

  void ReadCursor(pw_buffer* b) {
    if (!cursorMetadata_) return;
    spa_meta* meta = spa_buffer_find_meta(b->buffer, SPA_META_Cursor);
    if (meta != nullptr) UpdateCursor(meta->data, meta->size, cursor_);
  }

  void Process() {
    pw_buffer* newest = nullptr;
    while (pw_buffer* b = pw_stream_dequeue_buffer(stream_.get())) {
      ReadCursor(b);
      if (!IsPicture(b)) {
        pw_stream_queue_buffer(stream_.get(), b);
        continue;
      }
      if (newest != nullptr) pw_stream_queue_buffer(stream_.get(), newest);
      newest = b;
    }
    if (newest == nullptr) return;
    if (held_ != nullptr) pw_stream_queue_buffer(stream_.get(), held_);
    held_ = newest;
    const spa_data& d = held_->buffer->datas[0];
    frame_.pixels = static_cast<const std::uint8_t*>(d.data) + d.chunk->offset;
    frame_.stride = d.chunk->stride != 0 ? d.chunk->stride : std::ptrdiff_t{width_} * 4;
    frame_.width = width_;
    frame_.height = height_;
    ++frame_.serial;
  }

  bool cursorMetadata_;
  std::unique_ptr<pw_loop, LoopDeleter> loop_;
  std::unique_ptr<pw_context, ContextDeleter> context_;
  std::unique_ptr<pw_core, CoreDeleter> core_;
  std::unique_ptr<pw_stream, StreamDeleter> stream_;
  spa_hook coreListener_{};
  spa_hook streamListener_{};
  guint watch_ = 0;
  guint report_ = 0;
  std::int32_t width_ = 0;
  std::int32_t height_ = 0;
  pw_buffer* held_ = nullptr;  // the newest picture, kept from the producer until a newer one
  FrameView frame_;
  StreamCursor cursor_;
  bool streamed_ = false;
  bool lost_ = false;
  std::string why_;
  std::function<void(const char*)> onLost_;
};

}  // namespace

std::unique_ptr<PipeWireStream> ConnectPipeWireStream(const StreamTarget& target) {
  InitPipeWire();
  auto stream = std::make_unique<Stream>(target.cursorMetadata);
  if (!stream->Connect(target.fd, target.node)) return nullptr;
  return stream;
}

}  // namespace ravelo::portal
