// The desktop the Linux program serves: what it captures and where the client's input goes.
// Either may be null when the display cannot be used that way.
#pragma once

#include <memory>

#include "imaging/capture.h"
#include "input/inject.h"

namespace ravelo {

std::unique_ptr<DesktopCapture> MakeLinuxDesktop();
std::unique_ptr<InputSink> MakeLinuxInputSink();

}  // namespace ravelo
