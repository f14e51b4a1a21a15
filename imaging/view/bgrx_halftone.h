// The halftone stretch of a whole 32-bit grab onto the view, made for the full view of a
// desktop grabbed in 32-bit pixels: the same averages, to the bit, as HalftoneStretch, in less time, since it
// keeps each view pixel's sums in registers rather than in a row buffer.
#pragma once

#include "imaging/soft/soft_gdi.h"

namespace ravelo::view {

// Stretches all of `src` (32 bits a pixel) onto all of `dst` (24 or 32 bits a pixel).
// Sizes whose sums do not fit its 16-bit lanes go through HalftoneStretch itself.
bool HalftoneFromBgrx(const SurfaceView& dst, const SurfaceView& src);

}  // namespace ravelo::view
