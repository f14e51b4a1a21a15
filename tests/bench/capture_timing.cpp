// Where a picture's time goes under Wine or Windows: whole captures of each view, then their
// steps one by one on the real desktop (screen copy, halftone stretch, encoder start-up, save).
//
//   capture_timing.exe [RUNS]      prints the median of RUNS (default 30) for each line
#define NOMINMAX
#include <windows.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <functional>
#include <vector>

#include "bench_support.h"
#include "imaging/capture.h"
#include "imaging/gdiplus_api.h"
#include "imaging/image.h"
#include "imaging/imaging_startup.h"

namespace {

void Time(const char* what, int runs, const std::function<void()>& step) {
  const std::vector<double> ms = ravelo::bench::TimeRuns(runs, [&] {
    step();
    return true;
  });
  std::printf("%-44s median %7.2f ms   worst %7.2f ms\n", what, ravelo::bench::Median(ms), ms.back());
}

// A 24-bit image of the given size, as the capture makes them.
HBITMAP NewImage(int w, int h) {
  BITMAPINFO info{};
  info.bmiHeader.biSize = sizeof info.bmiHeader;
  info.bmiHeader.biWidth = w;
  info.bmiHeader.biHeight = h;
  info.bmiHeader.biPlanes = 1;
  info.bmiHeader.biBitCount = 24;
  void* bits = nullptr;
  return CreateDIBSection(nullptr, &info, DIB_RGB_COLORS, &bits, nullptr, 0);
}

}  // namespace

int main(int argc, char** argv) {
  using namespace ravelo;
  const int runs = argc > 1 ? std::max(1, std::atoi(argv[1])) : 30;
  const int w = GetSystemMetrics(SM_CXSCREEN);
  const int h = GetSystemMetrics(SM_CYSCREEN);
  std::printf("desktop %dx%d, %d runs each\n", w, h, runs);

  std::unique_ptr<DesktopCapture> capture = MakeDesktopCapture();
  Time("full view: capture to written JPEG", runs, [&] { capture->CaptureDesktop(true, 0, 0); });
  Time("region view: capture to written JPEG", runs, [&] { capture->CaptureDesktop(false, 300, 200); });

  HWND desktop = GetDesktopWindow();
  HDC screen = GetDC(desktop);
  HDC memory = CreateCompatibleDC(nullptr);
  HDC view = CreateCompatibleDC(nullptr);
  HBITMAP whole = NewImage(w, h);
  HBITMAP small = NewImage(kViewWidth, kViewHeight);
  HGDIOBJ oldWhole = SelectObject(memory, whole);
  HGDIOBJ oldSmall = SelectObject(view, small);
  SetStretchBltMode(view, HALFTONE);
  Time("  desktop-sized image made and freed", runs, [&] { DeleteObject(NewImage(w, h)); });
  Time("  whole screen copied", runs, [&] { BitBlt(memory, 0, 0, w, h, screen, 0, 0, SRCCOPY | CAPTUREBLT); });
  Time("  whole screen copied into a new image", runs, [&] {
    HBITMAP fresh = NewImage(w, h);
    HDC dc = CreateCompatibleDC(nullptr);
    HGDIOBJ old = SelectObject(dc, fresh);
    BitBlt(dc, 0, 0, w, h, screen, 0, 0, SRCCOPY | CAPTUREBLT);
    SelectObject(dc, old);
    DeleteDC(dc);
    DeleteObject(fresh);
  });
  Time("  256x192 of the screen copied", runs,
       [&] { BitBlt(view, 0, 0, kViewWidth, kViewHeight, screen, 300, 200, SRCCOPY | CAPTUREBLT); });
  Time("  halftone stretch to 256x192", runs,
       [&] { StretchBlt(view, 0, 0, kViewWidth, kViewHeight, memory, 0, 0, w, h, SRCCOPY); });
  SelectObject(memory, oldWhole);
  SelectObject(view, oldSmall);
  DeleteObject(whole);
  DeleteObject(small);
  DeleteDC(memory);
  DeleteDC(view);
  ReleaseDC(desktop, screen);

  CImagingStartup& startup = CImagingStartup::Instance();
  Time("  encoder library started and shut down", runs, [&] {
    startup.Startup();
    startup.Shutdown();
  });
  {
    // A piece of the real screen, so that the encoder has the desktop's detail to code.
    CImage image;
    image.Create(kViewWidth, kViewHeight, 24, 0);
    {
      CImageDrawScope scope(image);
      HDC dc = GetDC(desktop);
      BitBlt(reinterpret_cast<HDC>(static_cast<DcHandle>(scope)), 0, 0, kViewWidth, kViewHeight, dc,
             300, 200, SRCCOPY);
      ReleaseDC(desktop, dc);
    }
    Time("  JPEG saved, library kept started", runs, [&] { image.Save("timing.jpg", kNullGuid); });
    Time("  JPEG saved, library started for it", runs, [&] {
      startup.Shutdown();
      image.Save("timing.jpg", kNullGuid);
    });
  }
  DeleteFileA("timing.jpg");
  DeleteFileA(kFullViewFile);
  DeleteFileA(kRegionViewFile);
  return 0;
}
