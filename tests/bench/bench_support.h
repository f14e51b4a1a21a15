// What the capture benchmarks share: the desktop picture they capture, and median timings
// for the ones that are not Google Benchmarks.
#pragma once

#include <algorithm>
#include <chrono>
#include <cstdint>
#include <functional>
#include <vector>

namespace ravelo::bench {

// Something like a desktop, 0x00RRGGBB rows from the top: a gradient, a window with
// text-like detail, a task bar. Flat colours alone would flatter the stretch and the encoder.
inline std::vector<uint32_t> BusyDesktop(int32_t w, int32_t h) {
  std::vector<uint32_t> rgb(static_cast<size_t>(w) * h);
  for (int32_t y = 0; y < h; ++y)
    for (int32_t x = 0; x < w; ++x) {
      uint32_t c;
      if (y > h - 40) {
        c = 0x202830;
      } else if (x > w / 6 && x < w * 2 / 3 && y > h / 7 && y < h * 4 / 5) {
        const bool text = ((x / 3) * 7 + (y / 4) * 13) % 11 == 0 && (y / 16) % 2 == 0;
        c = y < h / 7 + 30 ? 0x3050A0 : text ? 0x101010 : 0xF0F0F0;
      } else {
        c = static_cast<uint32_t>(x * 255 / w) << 16 | 0x4000 | static_cast<uint32_t>(y * 255 / h);
      }
      rgb[static_cast<size_t>(y) * w + x] = c;
    }
  return rgb;
}

inline double NowMs() {
  return std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now().time_since_epoch()).count();
}

// Milliseconds each of `runs` calls took, sorted; empty as soon as one fails.
inline std::vector<double> TimeRuns(int runs, const std::function<bool()>& call) {
  std::vector<double> ms;
  for (int i = 0; i < runs; ++i) {
    const double start = NowMs();
    if (!call()) return {};
    ms.push_back(NowMs() - start);
  }
  std::sort(ms.begin(), ms.end());
  return ms;
}

inline double Median(std::vector<double> v) {
  if (v.empty()) return 0;
  std::sort(v.begin(), v.end());
  const size_t n = v.size();
  return n % 2 == 1 ? v[n / 2] : (v[n / 2 - 1] + v[n / 2]) / 2;
}

}  // namespace ravelo::bench
