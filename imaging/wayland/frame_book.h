// The bookkeeping of a screen copy kept running, free of Wayland headers so that it is tested
// without a compositor: which shared-memory layouts the halftone can read as they are, which of
// two buffers the compositor copies into while the other keeps the newest frame, and the views
// of that frame the picture path reads.
#pragma once

#include <cstdint>
#include <optional>
#include <vector>

#include "imaging/soft/soft_gdi.h"

namespace ravelo::wayland {

// wl_shm formats, as the core protocol numbers them.
namespace shm_format {
constexpr uint32_t kArgb8888 = 0;
constexpr uint32_t kXrgb8888 = 1;
}  // namespace shm_format

// A frame as the compositor lays it out in the buffer it copies into.
struct FrameLayout {
  int32_t width = 0;
  int32_t height = 0;
  int32_t stride = 0;  // bytes from one row to the next
  uint32_t format = 0;
  bool operator==(const FrameLayout& o) const {
    return width == o.width && height == o.height && stride == o.stride && format == o.format;
  }
  bool operator!=(const FrameLayout& o) const { return !(*this == o); }
};

// Frames larger than this are not taken (16384 x 16384 at 4 bytes is 1 GiB).
constexpr int64_t kMaxFrameBytes = int64_t{1} << 30;

// Whether the picture path reads frames of this layout in place: 32-bit pixels whose bytes are
// B, G, R and then X or A (little-endian XRGB8888 or ARGB8888), rows that hold them, a sane size.
bool Readable(const FrameLayout& layout);

// Of the shared-memory formats a compositor offers, the one to ask for; none when no readable one.
std::optional<uint32_t> PickFormat(const std::vector<uint32_t>& offered);

// Two buffers: the compositor copies into one while the other keeps the newest frame, so that a
// picture request always finds a whole frame that nothing writes to.
class FrameBook {
 public:
  static constexpr int kSlots = 2;

  // The layout the compositor asks for. True when it is a new one: the buffers are to be made
  // anew, and the newest frame, of the old layout, is forgotten. Not while a copy is under way.
  bool Configure(const FrameLayout& layout);
  bool Configured() const { return configured_; }
  const FrameLayout& Layout() const { return layout_; }

  // The buffer the next copy goes into; none while a copy is under way or before a layout.
  std::optional<int> BeginCopy();
  // The copy under way has landed: its buffer holds the newest frame from now on.
  void CopyReady(bool yInverted);
  // The copy under way failed or was called off; the newest frame stays what it was.
  void CopyFailed();

  bool Copying() const { return copying_ >= 0; }
  bool HasFrame() const { return newest_ >= 0; }
  int NewestSlot() const { return newest_; }
  bool NewestInverted() const { return inverted_; }
  uint64_t FramesReady() const { return frames_; }

 private:
  FrameLayout layout_;
  bool configured_ = false;
  int copying_ = -1;
  int newest_ = -1;
  bool inverted_ = false;
  uint64_t frames_ = 0;
};

// The frame in `memory` as the halftone reads it: 32 bits a pixel, row 0 the top row whatever
// order the compositor wrote the rows in.
SurfaceView FrameView(uint8_t* memory, const FrameLayout& layout, bool yInverted);

// The part of the region view with its top-left corner at desktop (x, y) that lies on `frame`,
// its rows packed one after the other, as ComposeRegionView takes them.
void PackRegion(const SurfaceView& frame, int32_t x, int32_t y, std::vector<uint8_t>* rows);

}  // namespace ravelo::wayland
