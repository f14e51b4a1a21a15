// Desktop capture of an X11 session: the root window through MIT-SHM, the cursor from
// XFixes, the project's halftone and JPEG writer.
#pragma once

#include <memory>

#include "imaging/capture.h"

namespace ravelo {

// A capture of the X display `displayName` (null: $DISPLAY); null when the display cannot
// be opened or its root is not a 24-bit true-colour picture of 32-bit pixels.
std::unique_ptr<DesktopCapture> MakeX11DesktopCapture(const char* displayName = nullptr);

}  // namespace ravelo
