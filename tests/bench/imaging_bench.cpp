// The memory backend's share of one full-view capture: the 1080p halftone stretch, the
// 256 x 192 JPEG encode, Save end to end, and the whole capture sequence.
#include <benchmark/benchmark.h>

#include <cstdio>
#include <filesystem>
#include <string>
#include <vector>

#include "bench_support.h"
#include "imaging/image.h"
#include "imaging/soft/soft_gdi.h"
#include "imaging/soft/soft_gdiplus.h"

namespace ravelo {
namespace {

constexpr int32_t kDeskW = 1920, kDeskH = 1080, kViewW = 256, kViewH = 192;

void FillDesktop(CImage& image) {
  const std::vector<uint32_t> rgb = bench::BusyDesktop(image.GetWidth(), image.GetHeight());
  for (int32_t y = 0; y < image.GetHeight(); ++y) {
    auto* p = static_cast<uint8_t*>(image.GetBits()) + static_cast<ptrdiff_t>(image.GetPitch()) * y;
    for (int32_t x = 0; x < image.GetWidth(); ++x, p += 3) {
      const uint32_t c = rgb[static_cast<size_t>(y) * image.GetWidth() + x];
      p[0] = static_cast<uint8_t>(c);
      p[1] = static_cast<uint8_t>(c >> 8);
      p[2] = static_cast<uint8_t>(c >> 16);
    }
  }
}

std::string ScratchFile(const char* name) {
  return (std::filesystem::temp_directory_path() / name).string();
}

void BM_HalftoneStretch1080pTo256x192(benchmark::State& state) {
  GdiApi& gdi = DefaultGdi();
  CImage view, desk;
  view.Create(kViewW, kViewH, 24, 0);
  desk.Create(kDeskW, kDeskH, 24, 0);
  FillDesktop(desk);
  CImageDrawScope v(view), d(desk);
  gdi.SetStretchMode(v, kStretchModeHalftone);
  for (auto _ : state) {
    gdi.StretchBlit(v, 0, 0, kViewW, kViewH, d, 0, 0, kDeskW, kDeskH, kRopSrcCopy);
    benchmark::ClobberMemory();
  }
  state.SetBytesProcessed(state.iterations() * int64_t{kDeskW} * kDeskH * 3);
}
BENCHMARK(BM_HalftoneStretch1080pTo256x192)->Unit(benchmark::kMillisecond);

// A 256 x 192 view made the way the capture makes it.
SoftPicture ViewPicture() {
  GdiApi& gdi = DefaultGdi();
  CImage view, desk;
  view.Create(kViewW, -kViewH, 24, 0);
  desk.Create(kDeskW, kDeskH, 24, 0);
  FillDesktop(desk);
  {
    CImageDrawScope v(view), d(desk);
    gdi.SetStretchMode(v, kStretchModeHalftone);
    gdi.StretchBlit(v, 0, 0, kViewW, kViewH, d, 0, 0, kDeskW, kDeskH, kRopSrcCopy);
  }
  SoftPicture picture;
  picture.width = kViewW;
  picture.height = kViewH;
  const auto* bits = static_cast<const uint8_t*>(view.GetBits());
  picture.pixels.assign(bits, bits + kViewW * kViewH * 3);
  return picture;
}

void BM_JpegEncode256x192(benchmark::State& state) {
  const SoftPicture picture = ViewPicture();
  SoftJpegEncoder encoder;
  std::vector<uint8_t> out;
  for (auto _ : state) {
    encoder.Encode(picture, &out);
    benchmark::DoNotOptimize(out.data());
  }
  state.counters["bytes"] = static_cast<double>(out.size());
}
BENCHMARK(BM_JpegEncode256x192)->Unit(benchmark::kMillisecond);

void BM_Save256x192(benchmark::State& state) {
  CImage view;
  view.Create(kViewW, kViewH, 24, 0);
  const SoftPicture picture = ViewPicture();
  for (int32_t y = 0; y < kViewH; ++y)
    std::copy_n(&picture.pixels[static_cast<size_t>(y) * kViewW * 3], kViewW * 3,
                static_cast<uint8_t*>(view.GetBits()) + static_cast<ptrdiff_t>(view.GetPitch()) * y);
  const std::string path = ScratchFile("ravelo-bench-bufferfull.jpg");
  for (auto _ : state) {
    if (view.Save(path.c_str()) != kSOk) state.SkipWithError("Save failed");
  }
  state.counters["bytes"] = static_cast<double>(std::filesystem::file_size(path));
  std::remove(path.c_str());
}
BENCHMARK(BM_Save256x192)->Unit(benchmark::kMillisecond);

// Create both images, copy the screen, stretch, save, destroy: the whole full view, with
// the imaging library started and stopped each time as in the program.
void BM_FullViewCapture1080p(benchmark::State& state) {
  SoftGdi& gdi = SoftGdi::Default();
  const DcHandle screen = gdi.CreateScreenContext(kDeskW, kDeskH, bench::BusyDesktop(kDeskW, kDeskH));
  const std::string path = ScratchFile("ravelo-bench-capture.jpg");
  for (auto _ : state) {
    CImage view, desk;
    view.Create(kViewW, kViewH, 24, 0);
    desk.Create(kDeskW, kDeskH, 24, 0);
    CImageDrawScope v(view), d(desk);
    gdi.Blit(d, 0, 0, kDeskW, kDeskH, screen, 0, 0, kRopSrcCopy | kRopCaptureBlt);
    gdi.SetStretchMode(v, kStretchModeHalftone);
    gdi.StretchBlit(v, 0, 0, kViewW, kViewH, d, 0, 0, kDeskW, kDeskH, kRopSrcCopy);
    if (view.Save(path.c_str()) != kSOk) state.SkipWithError("Save failed");
  }
  gdi.DeleteContext(screen);
  std::remove(path.c_str());
}
BENCHMARK(BM_FullViewCapture1080p)->Unit(benchmark::kMillisecond);

}  // namespace
}  // namespace ravelo

BENCHMARK_MAIN();
