// What a picture request costs on a wlroots compositor beside the X11 path, grab to written
// JPEG, on one thread: the full view from the newest frame and the region view on a headless
// sway at 1920x1080, the same views of the same busy desktop on a private Xvfb in the same run,
// and how long the first picture takes after the backend starts.
//
//   wayland_capture_bench [--rounds N] [--frames N] [--starts N]
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include <unistd.h>

#include "bench_support.h"
#include "headless_sway.h"
#include "imaging/x11/x11_capture.h"
#include "app/gtk/wlroots_desktop.h"
#include "x11_test_display.h"

namespace ravelo {
namespace {

constexpr int32_t kWidth = 1920;
constexpr int32_t kHeight = 1080;

int Run(int rounds, int frames, int starts) {
  const std::string unavailable = testing::SwayUnavailable();
  if (!unavailable.empty() || !testing::XvfbInstalled()) {
    std::printf("cannot run: %s\n", unavailable.empty() ? "Xvfb is not installed" : unavailable.c_str());
    return 77;
  }
  const std::vector<uint32_t> desktop = bench::BusyDesktop(kWidth, kHeight);
  testing::HeadlessSway sway(kWidth, kHeight, desktop);
  if (!sway.Running()) {
    std::printf("%s\n", sway.Error().c_str());
    return 1;
  }
  testing::PrivateXvfb xvfb(kWidth, kHeight);
  if (!xvfb.Running() || !testing::ShowOnRoot(xvfb.Name(), kWidth, kHeight, desktop) ||
      !testing::WarpPointer(xvfb.Name(), kWidth / 2, kHeight / 2)) {
    std::puts("could not start Xvfb with a desktop picture");
    return 1;
  }
  const std::filesystem::path dir = std::filesystem::temp_directory_path() / ("ravelo-bench-" + std::to_string(getpid()));
  std::filesystem::create_directories(dir);
  const auto previous = std::filesystem::current_path();
  std::filesystem::current_path(dir);

  // Start to first picture: connection, globals, devices, the first copy, the view written.
  std::vector<double> open;
  std::vector<double> first;
  bool failed = false;
  for (int i = 0; i < starts && !failed; ++i) {
    const double start = bench::NowMs();
    std::string why;
    std::unique_ptr<WlrootsDesktop> d = WlrootsDesktop::Open(sway.Socket().c_str(), &why);
    const double opened = bench::NowMs();
    std::unique_ptr<DesktopCapture> c = d ? d->TakeCapture() : nullptr;
    // A request before the first frame goes unanswered after 250 ms; the next one is asked for.
    bool done = false;
    for (int tries = 0; c && !done && tries < 8; ++tries) done = c->CaptureDesktop(true, 0, 0);
    failed = !done;
    open.push_back(opened - start);
    first.push_back(bench::NowMs() - start);
  }

  std::string why;
  std::unique_ptr<WlrootsDesktop> backend = WlrootsDesktop::Open(sway.Socket().c_str(), &why);
  std::unique_ptr<DesktopCapture> wayland = backend ? backend->TakeCapture() : nullptr;
  std::unique_ptr<DesktopCapture> x11 = MakeX11DesktopCapture(xvfb.Name().c_str());
  if (!wayland || !x11 || failed) {
    std::printf("no capture: %s\n", why.empty() ? "a first picture failed" : why.c_str());
    std::filesystem::current_path(previous);
    std::filesystem::remove_all(dir);
    return 1;
  }
  // The first frame in, and the cursor's damage copied, before anything is timed.
  for (int i = 0; i < 20; ++i) wayland->CaptureDesktop(true, 0, 0);

  const std::vector<std::pair<const char*, std::function<bool()>>> steps = {
      {"wl full", [&] { return wayland->CaptureDesktop(true, 0, 0); }},
      {"x11 full", [&] { return x11->CaptureDesktop(true, 0, 0); }},
      {"wl region", [&] { return wayland->CaptureDesktop(false, 800, 500); }},
      {"x11 region", [&] { return x11->CaptureDesktop(false, 800, 500); }},
  };
  std::printf("%dx%d busy desktop: headless sway (%s) and Xvfb %s, %d frames a round; ms per picture\n", kWidth,
              kHeight, backend->Description().c_str(), xvfb.Name().c_str(), frames);
  std::printf("start to first picture (median of %d): %.1f ms (of which connecting, devices: %.1f ms)\n", starts,
              bench::Median(first), bench::Median(open));
  std::printf("round ");
  for (const auto& s : steps) std::printf(" %10s", s.first);
  std::printf("  wl/x11 full\n");
  std::vector<std::vector<double>> columns(steps.size());
  auto print = [&](const std::string& label, auto value) {
    std::printf("%-6s", label.c_str());
    for (const std::vector<double>& c : columns) std::printf(" %10.3f", value(c));
    std::printf(" %11.2fx\n", value(columns[0]) / value(columns[1]));
  };
  for (int r = 0; r < rounds && !failed; ++r) {
    for (size_t i = 0; i < steps.size(); ++i) {
      const std::vector<double> ms = bench::TimeRuns(frames, steps[i].second);
      failed |= ms.empty();
      columns[i].push_back(bench::Median(ms));
    }
    if (!failed) print(std::to_string(r + 1), [](const std::vector<double>& c) { return c.back(); });
  }
  if (failed) std::puts("a capture failed");
  else print("median", [](const std::vector<double>& c) { return bench::Median(c); });
  std::filesystem::current_path(previous);
  std::filesystem::remove_all(dir);
  return failed ? 1 : 0;
}

}  // namespace
}  // namespace ravelo

int main(int argc, char** argv) {
  int rounds = 7;
  int frames = 200;
  int starts = 7;
  for (int i = 1; i < argc; ++i) {
    const std::string a = argv[i];
    if (a == "--rounds" && i + 1 < argc) rounds = std::atoi(argv[++i]);
    else if (a == "--frames" && i + 1 < argc) frames = std::atoi(argv[++i]);
    else if (a == "--starts" && i + 1 < argc) starts = std::atoi(argv[++i]);
    else {
      std::fprintf(stderr, "usage: wayland_capture_bench [--rounds N] [--frames N] [--starts N]\n");
      return 2;
    }
  }
  if (rounds < 1 || frames < 1 || starts < 1) return 2;
  return ravelo::Run(rounds, frames, starts);
}
