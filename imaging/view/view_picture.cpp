#include "imaging/view/view_picture.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>

#include "imaging/capture.h"
#include "imaging/view/bgrx_halftone.h"
#include "linux/posix_file.h"

namespace ravelo::view {

void BlendCursor(const SurfaceView& dst, int32_t originX, int32_t originY, int32_t rowBegin,
                 int32_t rowEnd, int32_t desktopWidth, int32_t desktopHeight,
                 const CursorPicture& cursor) {
  if (cursor.argb.size() < static_cast<size_t>(cursor.width) * static_cast<size_t>(std::max(cursor.height, 0)))
    return;
  const int32_t bytes = dst.bitsPerPixel / 8;
  // Desktop rectangle that is cursor, desktop and the destination's rows at once.
  const int64_t x0 = std::max<int64_t>({0, cursor.left, originX});
  const int64_t x1 = std::min<int64_t>({desktopWidth, int64_t{cursor.left} + cursor.width,
                                        int64_t{originX} + dst.width});
  const int64_t y0 = std::max<int64_t>({0, cursor.top, int64_t{originY} + std::max(rowBegin, 0)});
  const int64_t y1 = std::min<int64_t>({desktopHeight, int64_t{cursor.top} + cursor.height,
                                        int64_t{originY} + std::min(rowEnd, dst.height)});
  for (int64_t y = y0; y < y1; ++y) {
    uint8_t* d = dst.Row(static_cast<int32_t>(y - originY)) + (x0 - originX) * bytes;
    const uint32_t* s = &cursor.argb[static_cast<size_t>((y - cursor.top) * cursor.width + (x0 - cursor.left))];
    for (int64_t x = x0; x < x1; ++x, ++s, d += bytes) {
      const uint32_t p = *s;
      const uint32_t keep = 255 - (p >> 24);
      for (int c = 0; c < 3; ++c) {
        // Premultiplied: the cursor's colour plus what shows through, rounded.
        const uint32_t t = d[c] * keep + 128;
        const uint32_t v = ((p >> (8 * c)) & 0xFF) + ((t + (t >> 8)) >> 8);
        d[c] = static_cast<uint8_t>(v > 255 ? 255 : v);
      }
    }
  }
}

Rect RegionOnDesktop(int32_t x, int32_t y, int32_t desktopWidth, int32_t desktopHeight) {
  Rect r;
  r.left = std::max(x, 0);
  r.top = std::max(y, 0);
  r.width = static_cast<int32_t>(std::min<int64_t>(int64_t{x} + kViewWidth, desktopWidth) - r.left);
  r.height = static_cast<int32_t>(std::min<int64_t>(int64_t{y} + kViewHeight, desktopHeight) - r.top);
  if (r.Empty()) r = Rect{};
  return r;
}

ViewPicture::ViewPicture() {
  picture_.width = kViewWidth;
  picture_.height = kViewHeight;
  picture_.bytesPerPixel = 3;
  picture_.pixels.assign(static_cast<size_t>(kViewWidth) * kViewHeight * 3, 0);
}

SurfaceView ViewPicture::Surface() {
  SurfaceView v;
  v.top = picture_.pixels.data();
  v.pitch = static_cast<ptrdiff_t>(kViewWidth) * 3;
  v.width = kViewWidth;
  v.height = kViewHeight;
  v.bitsPerPixel = 24;
  return v;
}

void ViewPicture::Clear() { std::fill(picture_.pixels.begin(), picture_.pixels.end(), uint8_t{0}); }

bool ViewPicture::Save(const char* path) {
  if (!encoder_.Encode(picture_, &file_)) return false;
  // The directory may be shared: a link planted under the name must not lead the picture
  // onto another file, and a pipe must not hold the program up.
  UniqueFd fd(open(path, O_WRONLY | O_CREAT | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC, 0600));
  if (!fd.valid()) return false;
  struct stat st;
  if (fstat(fd.get(), &st) != 0 || !S_ISREG(st.st_mode) || st.st_uid != geteuid() ||
      ((st.st_mode & 077) != 0 && fchmod(fd.get(), 0600) != 0)) {
    return false;
  }
  // Written over the old picture and then cut to length: truncating first makes the
  // file system flush the new blocks at close, which costs more than the encoding.
  const bool written = WriteAll(fd.get(), file_.data(), file_.size()) &&
                       ftruncate(fd.get(), static_cast<off_t>(file_.size())) == 0;
  const bool closed = fd.Close();
  if (!written || !closed) {
    // A cut-off picture must not pass for a good one.
    unlink(path);
    return false;
  }
  return true;
}

bool ComposeFullView(ViewPicture& view, const SurfaceView& grab, const CursorPicture& cursor) {
  BlendCursor(grab, 0, 0, 0, grab.height, grab.width, grab.height, cursor);
  return HalftoneFromBgrx(view.Surface(), grab);
}

void ComposeRegionView(ViewPicture& view, int32_t x, int32_t y, int32_t desktopWidth, int32_t desktopHeight,
                       const uint8_t* rows, const CursorPicture& cursor) {
  view.Clear();
  const SurfaceView v = view.Surface();
  const Rect area = RegionOnDesktop(x, y, desktopWidth, desktopHeight);
  for (int32_t r = 0; r < area.height; ++r) {
    const uint8_t* s = rows + static_cast<ptrdiff_t>(area.width) * 4 * r;
    uint8_t* d = v.Row(area.top - y + r) + static_cast<ptrdiff_t>(area.left - x) * 3;
    for (int32_t i = 0; i < area.width; ++i, s += 4, d += 3) {
      d[0] = s[0];
      d[1] = s[1];
      d[2] = s[2];
    }
  }
  BlendCursor(v, x, y, 0, kViewHeight, desktopWidth, desktopHeight, cursor);
}

}  // namespace ravelo::view
