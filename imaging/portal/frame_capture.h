// A desktop capture that answers from the newest frame of a stream rather than grabbing
// the screen: the view is made by the X11 capture's picture code, the cursor drawn in
// where the stream sends it apart from the frames.
#pragma once

#include <cstdint>
#include <vector>

#include "imaging/capture.h"
#include "imaging/portal/portal_frame.h"

namespace ravelo::portal {

// Where the frames come from.
class FrameSource {
 public:
  virtual ~FrameSource() = default;
  // The newest frame, waiting at most `waitMs` for a first one; null when there is none.
  // Valid until the next call into the source.
  virtual const FrameView* NewestFrame(int waitMs) = 0;
  // The cursor to draw in; empty when the frames show it themselves or it is hidden.
  virtual view::CursorPicture Cursor() = 0;
};

// How long a picture request may wait for a stream's first frame: the server's one thread
// must not stall, and a stream that has not delivered by then is not about to.
constexpr int kFirstFrameWaitMs = 250;

class FrameCapture : public DesktopCapture {
 public:
  explicit FrameCapture(FrameSource& source) : source_(source) {}

  bool DesktopSize(std::uint16_t& width, std::uint16_t& height) override;
  bool CaptureDesktop(bool full, std::uint16_t x, std::uint16_t y) override;

 private:
  const FrameView* Frame();
  bool FullView(const FrameView& frame);
  // Remakes the view pixels the cursor reaches from the frame with the cursor drawn in, at
  // full size, as the whole view would have been made from such a frame.
  bool RedrawUnderCursor(const FrameView& frame, const view::CursorPicture& cursor);
  bool RegionView(const FrameView& frame, std::int32_t x, std::int32_t y);

  FrameSource& source_;
  bool waited_ = false;  // the first-frame wait is spent once, not on every request
  view::ViewPicture view_;
  // A BGRx copy of a frame of another order, to draw the cursor into: the stream's buffers
  // are mapped read-only.
  std::vector<std::uint8_t> copy_;
  std::uint64_t copySerial_ = 0;
  bool copyValid_ = false;
  std::vector<std::uint8_t> region_;
  std::vector<std::uint8_t> scratch_;  // frame-sized; only the pixels under the cursor are used
};

}  // namespace ravelo::portal
