// The input sink of an X11 session: XTest events on the display's root window.
#pragma once

#include <memory>

#include "input/inject.h"

namespace ravelo {

// An input sink for the X display `displayName` (null: $DISPLAY); null when the display
// cannot be opened or lacks the XTest extension. Characters that the keyboard layout
// cannot type send nothing, as on Windows.
std::unique_ptr<InputSink> MakeX11InputSink(const char* displayName = nullptr);

}  // namespace ravelo
