// A PipeWire screen-cast stream read on the program's one thread: its loop is a source on
// the GLib main context, the newest frame is held (not copied) until a newer one comes, and
// the cursor is taken from the buffers' metadata when the session asked for it there.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>

#include "imaging/portal/frame_capture.h"

namespace ravelo::portal {

struct StreamTarget {
  int fd = -1;             // a connection to the PipeWire remote; the stream owns it
  std::uint32_t node = 0;  // the screen-cast node
  bool cursorMetadata = false;
};

class PipeWireStream : public FrameSource {
 public:
  virtual ~PipeWireStream() = default;
  // The stream failed or ended (the remote went away, the node was removed); called from
  // the main context, never from inside a capture call. The stream stays, without frames.
  virtual void OnLost(std::function<void(const char* why)> lost) = 0;
};

// Connects to `target`; null (and the descriptor closed) when PipeWire cannot be set up.
// The stream then negotiates on its own; NewestFrame answers from whatever came.
std::unique_ptr<PipeWireStream> ConnectPipeWireStream(const StreamTarget& target);

}  // namespace ravelo::portal
