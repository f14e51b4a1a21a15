// One whole capture on the software desktop, as a picture request costs it: both images
// made, the screen copied, the cursor drawn, the view stretched or cut, the JPEG written
// and everything released.
#include <benchmark/benchmark.h>

#include <filesystem>
#include <vector>

#include "bench_support.h"
#include "imaging/desktop_capture.h"
#include "imaging/soft/soft_desktop.h"
#include "imaging/soft/soft_gdi.h"

namespace ravelo {
namespace {

void BM_Capture(benchmark::State& state) {
  const auto w = static_cast<int32_t>(state.range(0));
  const auto h = static_cast<int32_t>(state.range(1));
  const bool full = state.range(2) != 0;
  SoftGdi& gdi = SoftGdi::Default();
  SoftDesktop desktop(gdi);
  desktop.ShowPicture(w, h, bench::BusyDesktop(w, h));
  IconPixels arrow;
  arrow.width = arrow.height = 32;
  arrow.andMask.assign(32 * 32, 1);
  arrow.xorColor.assign(32 * 32, 0);
  for (int32_t y = 0; y < 20; ++y)
    for (int32_t x = 0; x <= y / 2; ++x) {
      arrow.andMask[static_cast<size_t>(y) * 32 + x] = 0;
      arrow.xorColor[static_cast<size_t>(y) * 32 + x] = 0xFFFFFF;
    }
  desktop.SetCursor(arrow, w / 2, h / 2);
  GdiDesktopCapture capture(desktop);

  const auto previous = std::filesystem::current_path();
  std::filesystem::current_path(std::filesystem::temp_directory_path());
  for (auto _ : state) {
    if (!capture.CaptureDesktop(full, 300, 200)) state.SkipWithError("capture failed");
  }
  state.counters["bytes"] =
      static_cast<double>(std::filesystem::file_size(full ? kFullViewFile : kRegionViewFile));
  std::filesystem::remove(kFullViewFile);
  std::filesystem::remove(kRegionViewFile);
  std::filesystem::current_path(previous);
}
BENCHMARK(BM_Capture)
    ->ArgNames({"w", "h", "full"})
    ->Args({1024, 768, 1})
    ->Args({1920, 1080, 1})
    ->Args({1024, 768, 0})
    ->Args({1920, 1080, 0})
    ->Unit(benchmark::kMillisecond);

}  // namespace
}  // namespace ravelo

BENCHMARK_MAIN();
