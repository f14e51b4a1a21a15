#include <gtest/gtest.h>

#include <cstdint>
#include <vector>

#include "app/gtk/status_notifier_area.h"

namespace ravelo {
namespace {

TEST(StatusNotifierTest, PixelsGoOutAsArgbInNetworkOrderWithoutRowPadding) {
  using Bytes = std::vector<std::uint8_t>;
  const struct {
    const char* what;
    Bytes pixels;
    int width, height, rowstride;
    bool alpha;
    Bytes argb;
  } cases[] = {
      {"RGBA, its alpha kept", {1, 2, 3, 4, 5, 6, 7, 8}, 2, 1, 8, true, {4, 1, 2, 3, 8, 5, 6, 7}},
      {"RGB, opaque", {1, 2, 3, 4, 5, 6}, 2, 1, 6, false, {255, 1, 2, 3, 255, 4, 5, 6}},
      // GdkPixbuf pads RGB rows to four bytes: the padding must not shift the next row.
      {"RGB rows padded", {1, 2, 3, 0, 4, 5, 6, 0}, 1, 2, 4, false, {255, 1, 2, 3, 255, 4, 5, 6}},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    EXPECT_EQ(NetworkArgb(c.pixels.data(), c.width, c.height, c.rowstride, c.alpha), c.argb);
  }
}

}  // namespace
}  // namespace ravelo
