// The seam's opaque handles are the platform's own handles (HDC, HBITMAP, HICON, HWND)
// under another name; this is the one place that says so to the compiler.
#pragma once

namespace ravelo {

template <typename To, typename From>
To As(From from) {
  return reinterpret_cast<To>(from);
}

}  // namespace ravelo
