// A PipeWire screen-cast stand-in for the portal tests: a known 1920x1080 picture in shared
// memory, sent only when told, as a compositor sends nothing while the screen is idle; with
// --cursor, the cursor as buffer metadata.
//
//   picture_producer [--format BGRx|RGBx] [--cursor X,Y] [--picture FILE.ppm]
//
// Prints "node N" once the stream has its node. Reads lines on stdin, each answered "done":
// "frame" sends the picture, "cursor X Y" moves the cursor in a buffer with no picture.
#include <pipewire/pipewire.h>
#include <spa/buffer/meta.h>
#include <spa/param/video/format-utils.h>
#include <spa/pod/builder.h>
#include <unistd.h>

#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

namespace {

constexpr int kCursorSide = 32;

struct Producer {
  pw_main_loop* loop = nullptr;
  pw_stream* stream = nullptr;
  spa_hook listener{};
  spa_video_format format = SPA_VIDEO_FORMAT_BGRx;
  int width = 1920;
  int height = 1080;
  bool cursor = false;
  int cursorX = 0;
  int cursorY = 0;
  bool cursorMoved = false;
  bool pictureDue = false;
  bool nodeTold = false;
  std::vector<unsigned char> rgb;  // the picture, R, G, B rows
};

// 8 x 6 blocks of distinct colours; the block at column 3, row 2 holds 8-pixel stripes,
// so that an unscaled view shows them and a scaled one averages them.
void Paint(Producer& p) {
  p.rgb.resize(static_cast<size_t>(p.width) * p.height * 3);
  for (int y = 0; y < p.height; ++y) {
    for (int x = 0; x < p.width; ++x) {
      const int bx = x * 8 / p.width;
      const int by = y * 6 / p.height;
      unsigned char* px = &p.rgb[(static_cast<size_t>(y) * p.width + x) * 3];
      if (bx == 3 && by == 2) {
        const unsigned char v = (x / 8) % 2 ? 230 : 20;
        px[0] = px[1] = px[2] = v;
        continue;
      }
      px[0] = static_cast<unsigned char>(30 + bx * 30);
      px[1] = static_cast<unsigned char>(40 + by * 40);
      px[2] = static_cast<unsigned char>(((bx + by) % 2) ? 200 : 60);
    }
  }
}

void WritePicture(const Producer& p, const char* path) {
  FILE* f = std::fopen(path, "wb");
  if (f == nullptr) return;
  std::fprintf(f, "P6\n%d %d\n255\n", p.width, p.height);
  std::fwrite(p.rgb.data(), 1, p.rgb.size(), f);
  std::fclose(f);
}

void FillCursor(Producer& p, spa_buffer* b) {
  auto* mc = static_cast<spa_meta_cursor*>(spa_buffer_find_meta_data(b, SPA_META_Cursor, sizeof(spa_meta_cursor)));
  if (mc == nullptr) return;
  mc->id = 1;
  mc->flags = 0;
  mc->position.x = p.cursorX;
  mc->position.y = p.cursorY;
  mc->hotspot.x = 6;
  mc->hotspot.y = 6;
  mc->bitmap_offset = sizeof(spa_meta_cursor);
  auto* bitmap = SPA_PTROFF(mc, mc->bitmap_offset, spa_meta_bitmap);
  bitmap->format = SPA_VIDEO_FORMAT_RGBA;
  bitmap->size.width = kCursorSide;
  bitmap->size.height = kCursorSide;
  bitmap->stride = kCursorSide * 4;
  bitmap->offset = sizeof(spa_meta_bitmap);
  auto* pixels = SPA_PTROFF(bitmap, bitmap->offset, unsigned char);
  // Opaque magenta, premultiplied: a colour the picture does not have.
  for (int i = 0; i < kCursorSide * kCursorSide; ++i) {
    pixels[i * 4 + 0] = 255;
    pixels[i * 4 + 1] = 0;
    pixels[i * 4 + 2] = 255;
    pixels[i * 4 + 3] = 255;
  }
}

void OnProcess(void* data) {
  auto& p = *static_cast<Producer*>(data);
  if (!p.pictureDue && !p.cursorMoved) return;
  pw_buffer* b = pw_stream_dequeue_buffer(p.stream);
  if (b == nullptr) return;
  spa_buffer* buf = b->buffer;
  spa_data& d = buf->datas[0];
  if (d.data == nullptr) {
    pw_stream_queue_buffer(p.stream, b);
    return;
  }
  const int stride = p.width * 4 + 64;  // wider than the picture, as real strides may be
  if (p.pictureDue) {
    auto* out = static_cast<unsigned char*>(d.data);
    for (int y = 0; y < p.height; ++y) {
      for (int x = 0; x < p.width; ++x) {
        const unsigned char* s = &p.rgb[(static_cast<size_t>(y) * p.width + x) * 3];
        unsigned char* o = out + static_cast<size_t>(y) * stride + x * 4;
        const bool bgr = p.format == SPA_VIDEO_FORMAT_BGRx;
        o[0] = bgr ? s[2] : s[0];
        o[1] = s[1];
        o[2] = bgr ? s[0] : s[2];
        o[3] = 0;
      }
    }
    d.chunk->offset = 0;
    d.chunk->stride = stride;
    d.chunk->size = static_cast<uint32_t>(stride) * p.height;
  } else {
    d.chunk->size = 0;  // the cursor's news alone
  }
  d.chunk->flags = 0;
  if (p.cursor) FillCursor(p, buf);
  p.pictureDue = false;
  p.cursorMoved = false;
  pw_stream_queue_buffer(p.stream, b);
}

void OnStateChanged(void* data, pw_stream_state, pw_stream_state state, const char* error) {
  auto& p = *static_cast<Producer*>(data);
  if (state == PW_STREAM_STATE_ERROR) std::fprintf(stderr, "producer: stream error: %s\n", error ? error : "?");
  if (!p.nodeTold && pw_stream_get_node_id(p.stream) != SPA_ID_INVALID) {
    std::printf("node %u\n", pw_stream_get_node_id(p.stream));
    std::fflush(stdout);
    p.nodeTold = true;
  }
}

void OnParamChanged(void* data, uint32_t id, const spa_pod* param) {
  auto& p = *static_cast<Producer*>(data);
  if (id != SPA_PARAM_Format || param == nullptr) return;
  uint8_t buffer[1024];
  spa_pod_builder b = SPA_POD_BUILDER_INIT(buffer, sizeof buffer);
  const int stride = p.width * 4 + 64;
  const spa_pod* params[3];
  uint32_t n = 0;
  params[n++] = static_cast<const spa_pod*>(spa_pod_builder_add_object(
      &b, SPA_TYPE_OBJECT_ParamBuffers, SPA_PARAM_Buffers, SPA_PARAM_BUFFERS_buffers, SPA_POD_CHOICE_RANGE_Int(4, 2, 8),
      SPA_PARAM_BUFFERS_blocks, SPA_POD_Int(1), SPA_PARAM_BUFFERS_size, SPA_POD_Int(stride * p.height),
      SPA_PARAM_BUFFERS_stride, SPA_POD_Int(stride), SPA_PARAM_BUFFERS_dataType, SPA_POD_CHOICE_FLAGS_Int(1 << SPA_DATA_MemFd)));
  params[n++] = static_cast<const spa_pod*>(spa_pod_builder_add_object(
      &b, SPA_TYPE_OBJECT_ParamMeta, SPA_PARAM_Meta, SPA_PARAM_META_type, SPA_POD_Id(SPA_META_Header),
      SPA_PARAM_META_size, SPA_POD_Int(sizeof(spa_meta_header))));
  if (p.cursor) {
    const int size = static_cast<int>(sizeof(spa_meta_cursor) + sizeof(spa_meta_bitmap)) + kCursorSide * kCursorSide * 4;
    params[n++] = static_cast<const spa_pod*>(spa_pod_builder_add_object(
        &b, SPA_TYPE_OBJECT_ParamMeta, SPA_PARAM_Meta, SPA_PARAM_META_type, SPA_POD_Id(SPA_META_Cursor),
        SPA_PARAM_META_size, SPA_POD_Int(size)));
  }
  pw_stream_update_params(p.stream, params, n);
}

void OnStdin(void* data, int fd, uint32_t) {
  auto& p = *static_cast<Producer*>(data);
  char line[256];
  const ssize_t n = read(fd, line, sizeof line - 1);
  if (n <= 0) {
    pw_main_loop_quit(p.loop);
    return;
  }
  line[n] = 0;
  int x = 0, y = 0;
  if (std::sscanf(line, "cursor %d %d", &x, &y) == 2) {
    p.cursorX = x;
    p.cursorY = y;
    p.cursorMoved = true;
  } else if (std::strncmp(line, "frame", 5) == 0) {
    p.pictureDue = true;
  }
  pw_stream_trigger_process(p.stream);
  std::printf("done\n");
  std::fflush(stdout);
}

}  // namespace

int main(int argc, char** argv) {
  pw_init(&argc, &argv);
  Producer p;
  const char* picture = nullptr;
  for (int i = 1; i + 1 < argc; i += 2) {
    const std::string a = argv[i];
    if (a == "--format") p.format = std::strcmp(argv[i + 1], "RGBx") == 0 ? SPA_VIDEO_FORMAT_RGBx : SPA_VIDEO_FORMAT_BGRx;
    else if (a == "--cursor") p.cursor = std::sscanf(argv[i + 1], "%d,%d", &p.cursorX, &p.cursorY) == 2;
    else if (a == "--picture") picture = argv[i + 1];
  }
  Paint(p);
  if (picture != nullptr) WritePicture(p, picture);

  p.loop = pw_main_loop_new(nullptr);
  static const pw_stream_events events = [] {
    pw_stream_events e{};
    e.version = PW_VERSION_STREAM_EVENTS;
    e.state_changed = OnStateChanged;
    e.param_changed = OnParamChanged;
    e.process = OnProcess;
    return e;
  }();
  p.stream = pw_stream_new_simple(pw_main_loop_get_loop(p.loop), "ravelo-test-screen",
                                  pw_properties_new(PW_KEY_MEDIA_CLASS, "Video/Source", PW_KEY_MEDIA_TYPE, "Video",
                                                    PW_KEY_MEDIA_CATEGORY, "Source", PW_KEY_MEDIA_ROLE, "Screen", nullptr),
                                  &events, &p);
  uint8_t buffer[1024];
  spa_pod_builder b = SPA_POD_BUILDER_INIT(buffer, sizeof buffer);
  spa_rectangle size{static_cast<uint32_t>(p.width), static_cast<uint32_t>(p.height)};
  spa_fraction rate{0, 1};
  const spa_pod* params[] = {static_cast<const spa_pod*>(spa_pod_builder_add_object(
      &b, SPA_TYPE_OBJECT_Format, SPA_PARAM_EnumFormat, SPA_FORMAT_mediaType, SPA_POD_Id(SPA_MEDIA_TYPE_video),
      SPA_FORMAT_mediaSubtype, SPA_POD_Id(SPA_MEDIA_SUBTYPE_raw), SPA_FORMAT_VIDEO_format, SPA_POD_Id(p.format),
      SPA_FORMAT_VIDEO_size, SPA_POD_Rectangle(&size), SPA_FORMAT_VIDEO_framerate, SPA_POD_Fraction(&rate)))};
  pw_stream_connect(p.stream, PW_DIRECTION_OUTPUT, PW_ID_ANY,
                    static_cast<pw_stream_flags>(PW_STREAM_FLAG_DRIVER | PW_STREAM_FLAG_MAP_BUFFERS), params, 1);
  pw_loop_add_io(pw_main_loop_get_loop(p.loop), STDIN_FILENO, SPA_IO_IN, false, OnStdin, &p);
  pw_main_loop_run(p.loop);
  pw_stream_destroy(p.stream);
  pw_main_loop_destroy(p.loop);
  pw_deinit();
  return 0;
}
