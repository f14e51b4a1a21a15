// Desktop capture of a Wayland compositor's output: screen copy into shared memory with a copy
// always under way, the cursor painted in by the compositor, the view composed and written by
// the same code as the X11 capture's.
#pragma once

#include <memory>

#include "imaging/capture.h"

namespace ravelo::wayland {

class Connection;

enum class ScreenCopyProtocol { kNone, kImageCopyCapture, kWlrScreencopy };

// What a capture on `connection` copies the screen with: ext-image-copy-capture where the
// compositor offers it, else wlr-screencopy from version 2 on (copies made when the screen
// changes); kNone when neither, or no output or shared memory to copy with.
ScreenCopyProtocol ChooseScreenCopy(const Connection& connection);
const char* ScreenCopyName(ScreenCopyProtocol protocol);

// A capture of the connection's output, its first copy asked for at once; null when
// ChooseScreenCopy finds nothing. A request before the first frame waits for it a little
// and otherwise goes unanswered.
std::unique_ptr<DesktopCapture> MakeScreenCopyCapture(const std::shared_ptr<Connection>& connection);

}  // namespace ravelo::wayland
