// The Wayland capture's bookkeeping without a compositor: which layouts are read in place, which
// buffer each copy goes into while the other keeps the newest frame, the frame's rows in the
// compositor's order either way up, and the region cut from it.
#include <gtest/gtest.h>

#include <optional>
#include <string>
#include <vector>

#include "imaging/wayland/frame_book.h"
#include "imaging/view/view_picture.h"
#include "app/gtk/wlroots_desktop.h"

namespace ravelo::wayland {
namespace {

constexpr uint32_t kAbgr8888 = 0x34324241;  // 'AB24': R first in memory, not what the halftone reads
constexpr uint32_t kRgb565 = 0x36314752;

TEST(WaylandFrame, OnlyBgrxLayoutsAreReadInPlace) {
  struct Case {
    FrameLayout layout;
    bool readable;
  } cases[] = {
      {{1366, 768, 5504, shm_format::kArgb8888}, true},  // padded rows
      {{1920, 1080, 7676, shm_format::kXrgb8888}, false},  // rows shorter than the pixels
      {{1920, 1080, 7680, kAbgr8888}, false},
      {{0, 1080, 0, shm_format::kXrgb8888}, false},
      {{16384, 16384, 65536, shm_format::kXrgb8888}, true},   // 1 GiB, the most taken
      {{16384, 16385, 65536, shm_format::kXrgb8888}, false},  // past it
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(std::to_string(c.layout.width) + "x" + std::to_string(c.layout.height) + " stride " +
                 std::to_string(c.layout.stride) + " format " + std::to_string(c.layout.format));
    EXPECT_EQ(Readable(c.layout), c.readable);
  }

  struct Offer {
    std::vector<uint32_t> offered;
    std::optional<uint32_t> picked;
  } offers[] = {
      {{kAbgr8888, shm_format::kArgb8888, shm_format::kXrgb8888}, shm_format::kXrgb8888},
      {{kAbgr8888, shm_format::kArgb8888}, shm_format::kArgb8888},
      {{kAbgr8888, kRgb565}, std::nullopt},
  };
  for (const Offer& o : offers) EXPECT_EQ(PickFormat(o.offered), o.picked);
}

TEST(WaylandFrame, CopiesTakeTurnsAndTheNewestFrameStays) {
  const FrameLayout a{1920, 1080, 7680, shm_format::kXrgb8888};
  const FrameLayout b{1280, 720, 5120, shm_format::kXrgb8888};
  enum Op { kConfigureA, kConfigureB, kBegin, kReady, kReadyInverted, kFail };
  struct Step {
    Op op;
    int result;  // kConfigure: 1 when new; kBegin: the slot or -1; others: ignored
    int newest;  // the newest frame's slot after the step, -1 for none
  };
  struct Case {
    const char* name;
    std::vector<Step> steps;
  } cases[] = {
      {"nothing before a layout", {{kBegin, -1, -1}, {kReady, 0, -1}, {kConfigureA, 1, -1}, {kBegin, 0, -1}}},
      {"one copy at a time",
       {{kConfigureA, 1, -1}, {kBegin, 0, -1}, {kBegin, -1, -1}, {kReady, 0, 0}, {kReady, 0, 0}}},
      {"the copy goes where the newest frame is not",
       {{kConfigureA, 1, -1}, {kBegin, 0, -1}, {kReady, 0, 0}, {kBegin, 1, 0}, {kReady, 0, 1},
        {kBegin, 0, 1}, {kReadyInverted, 0, 0}}},
      {"a failed copy keeps the newest frame",
       {{kConfigureA, 1, -1}, {kBegin, 0, -1}, {kReady, 0, 0}, {kBegin, 1, 0}, {kFail, 0, 0}, {kBegin, 1, 0}}},
      {"the same layout keeps the frame, a new one drops it",
       {{kConfigureA, 1, -1}, {kBegin, 0, -1}, {kReady, 0, 0}, {kConfigureA, 0, 0}, {kConfigureB, 1, -1},
        {kBegin, 0, -1}}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    FrameBook book;
    int i = 0;
    for (const Step& s : c.steps) {
      SCOPED_TRACE("step " + std::to_string(i++));
      switch (s.op) {
        case kConfigureA: EXPECT_EQ(book.Configure(a), s.result == 1); break;
        case kConfigureB: EXPECT_EQ(book.Configure(b), s.result == 1); break;
        case kBegin: EXPECT_EQ(book.BeginCopy(), s.result < 0 ? std::nullopt : std::optional<int>(s.result)); break;
        case kReady: book.CopyReady(false); break;
        case kReadyInverted: book.CopyReady(true); break;
        case kFail: book.CopyFailed(); break;
      }
      EXPECT_EQ(book.NewestSlot(), s.newest);
      EXPECT_EQ(book.HasFrame(), s.newest >= 0);
      if ((s.op == kReady || s.op == kReadyInverted) && s.newest >= 0) {
        EXPECT_EQ(book.NewestInverted(), s.op == kReadyInverted);
      }
    }
  }
}

// A frame whose every pixel says where it is: B the column, G the row, R a constant.
std::vector<uint8_t> NumberedFrame(const FrameLayout& l, bool inverted) {
  std::vector<uint8_t> memory(static_cast<size_t>(l.stride) * l.height, 0xEE);
  for (int32_t y = 0; y < l.height; ++y) {
    const int32_t stored = inverted ? l.height - 1 - y : y;
    for (int32_t x = 0; x < l.width; ++x) {
      uint8_t* p = &memory[static_cast<size_t>(stored) * l.stride + static_cast<size_t>(x) * 4];
      p[0] = static_cast<uint8_t>(x);
      p[1] = static_cast<uint8_t>(y);
      p[2] = 0x55;
      p[3] = 0xFF;
    }
  }
  return memory;
}

TEST(WaylandFrame, RegionsAreCutFromTheFrameEitherWayUp) {
  // Rows padded past the pixels, as a compositor may lay them out.
  const FrameLayout layout{300, 250, 1216, shm_format::kXrgb8888};
  struct Case {
    int32_t x, y;
    view::Rect area;  // the part on the frame
  } cases[] = {
      {10, 20, {10, 20, 256, 192}},
      {200, 100, {200, 100, 100, 150}},  // past the right and bottom edges
      {300, 0, {0, 0, 0, 0}},            // wholly off the frame
  };
  for (const bool inverted : {false, true}) {
    std::vector<uint8_t> memory = NumberedFrame(layout, inverted);
    const SurfaceView frame = FrameView(memory.data(), layout, inverted);
    for (const Case& c : cases) {
      SCOPED_TRACE(std::string(inverted ? "inverted " : "") + std::to_string(c.x) + "," + std::to_string(c.y));
      std::vector<uint8_t> rows;
      PackRegion(frame, c.x, c.y, &rows);
      ASSERT_EQ(rows.size(), static_cast<size_t>(c.area.width) * c.area.height * 4);
      for (int32_t r = 0; r < c.area.height; ++r)
        for (int32_t i = 0; i < c.area.width; ++i) {
          const uint8_t* p = &rows[(static_cast<size_t>(r) * c.area.width + i) * 4];
          ASSERT_EQ(p[0], static_cast<uint8_t>(c.area.left + i));
          ASSERT_EQ(p[1], static_cast<uint8_t>(c.area.top + r));
          ASSERT_EQ(p[2], 0x55);
        }
    }
  }
}

TEST(WlrootsDesktop, WithoutACompositorSaysSo) {
  std::string why;
  EXPECT_EQ(WlrootsDesktop::Open("/nonexistent/ravelo-wayland-0", &why), nullptr);
  EXPECT_EQ(why, "no Wayland compositor answers");
}

}  // namespace
}  // namespace ravelo::wayland
