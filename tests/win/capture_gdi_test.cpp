// The capture under Wine against the real desktop, GDI and GDI+: a window of the test's
// own covers the screen with colour blocks and a cursor of known shape, and the pictures
// are read back with GDI+'s decoder.
#define NOMINMAX
#include <windows.h>

#include <gtest/gtest.h>

#include <filesystem>
#include <string>

#include "imaging/capture.h"
#include "imaging/desktop_source.h"
#include "imaging_test_support.h"

namespace ravelo {
namespace {

using testing::ChannelDistance;
using testing::DecodedPicture;
using testing::DecodePictureFile;
using testing::ScratchDir;

constexpr int kTolerance = 32;
const COLORREF kPalette[16] = {RGB(255, 0, 0),   RGB(0, 255, 0),   RGB(0, 0, 255),   RGB(255, 255, 0),
                               RGB(0, 255, 255), RGB(255, 255, 255), RGB(128, 128, 128), RGB(128, 0, 0),
                               RGB(0, 128, 0),   RGB(0, 0, 128),   RGB(128, 128, 0), RGB(128, 0, 128),
                               RGB(0, 128, 128), RGB(255, 128, 0), RGB(128, 255, 128), RGB(64, 64, 64)};

uint32_t Rgb(COLORREF c) { return uint32_t{GetRValue(c)} << 16 | uint32_t{GetGValue(c)} << 8 | GetBValue(c); }

HCURSOR g_cursor = nullptr;

// A 4 x 4 grid of the palette over the whole client area.
LRESULT CALLBACK GridProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  if (message == WM_PAINT) {
    PAINTSTRUCT ps;
    HDC dc = BeginPaint(window, &ps);
    RECT client;
    GetClientRect(window, &client);
    for (int j = 0; j < 4; ++j)
      for (int i = 0; i < 4; ++i) {
        RECT cell{client.right * i / 4, client.bottom * j / 4, client.right * (i + 1) / 4,
                  client.bottom * (j + 1) / 4};
        HBRUSH brush = CreateSolidBrush(kPalette[i + 4 * j]);
        FillRect(dc, &cell, brush);
        DeleteObject(brush);
      }
    EndPaint(window, &ps);
    return 0;
  }
  if (message == WM_SETCURSOR && g_cursor != nullptr) {
    SetCursor(g_cursor);
    return TRUE;
  }
  return DefWindowProcW(window, message, wParam, lParam);
}

// A 32 x 32 opaque square with its hot spot at (8, 8).
HCURSOR MakeSquareCursor() {
  BYTE andMask[32 * 4];
  BYTE xorMask[32 * 4];
  memset(andMask, 0x00, sizeof andMask);
  memset(xorMask, 0xFF, sizeof xorMask);
  // A monochrome cursor cannot be magenta; draw it white and look for white.
  return CreateCursor(GetModuleHandleW(nullptr), 8, 8, 32, 32, andMask, xorMask);
}

void Pump(int milliseconds) {
  const DWORD end = GetTickCount() + static_cast<DWORD>(milliseconds);
  while (GetTickCount() < end) {
    MSG msg;
    while (PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) DispatchMessageW(&msg);
    Sleep(10);
  }
}

class GdiCaptureTest : public ::testing::Test {
 protected:
  static void SetUpTestSuite() {
    WNDCLASSW wc{};
    wc.lpfnWndProc = GridProc;
    wc.hInstance = GetModuleHandleW(nullptr);
    wc.lpszClassName = L"RaveloCaptureGrid";
    wc.hCursor = LoadCursorW(nullptr, MAKEINTRESOURCEW(32512));
    RegisterClassW(&wc);
  }

  void SetUp() override {
    width = GetSystemMetrics(SM_CXSCREEN);
    height = GetSystemMetrics(SM_CYSCREEN);
    previous_ = std::filesystem::current_path();
    std::filesystem::current_path(dir.Path());
  }

  void TearDown() override {
    if (window != nullptr) DestroyWindow(window);
    if (g_cursor != nullptr) DestroyCursor(g_cursor);
    g_cursor = nullptr;
    Pump(50);
    std::filesystem::current_path(previous_);
  }

  void ShowGrid() {
    window = CreateWindowExW(WS_EX_TOPMOST, L"RaveloCaptureGrid", L"grid", WS_POPUP | WS_VISIBLE, 0, 0, width,
                             height, nullptr, nullptr, GetModuleHandleW(nullptr), nullptr);
    ASSERT_NE(window, nullptr);
    SetForegroundWindow(window);
    UpdateWindow(window);
    Pump(400);
    GdiFlush();
  }

  DecodedPicture Decode(const char* file) {
    DecodedPicture picture;
    EXPECT_TRUE(DecodePictureFile(file, &picture)) << file;
    EXPECT_EQ(picture.width, kViewWidth);
    EXPECT_EQ(picture.height, kViewHeight);
    if (picture.width != kViewWidth || picture.height != kViewHeight) {
      picture.width = kViewWidth;
      picture.rgb.assign(static_cast<size_t>(kViewWidth) * kViewHeight, 0xDEAD);
    }
    return picture;
  }

  static void ExpectColour(const DecodedPicture& p, int32_t x, int32_t y, uint32_t rgb) {
    EXPECT_LE(ChannelDistance(p.At(x, y), rgb), kTolerance) << "at " << x << "," << y << ": " << std::hex
                                                             << p.At(x, y) << " not " << rgb;
  }

  ScratchDir dir;
  int width = 0, height = 0;
  HWND window = nullptr;
  std::unique_ptr<DesktopCapture> capture = MakeDesktopCapture();

 private:
  std::filesystem::path previous_;
};

TEST_F(GdiCaptureTest, DesktopSizeIsTheScreens) {
  uint16_t w = 0, h = 0;
  ASSERT_TRUE(capture->DesktopSize(w, h));
  EXPECT_EQ(w, width);
  EXPECT_EQ(h, height);
}

TEST_F(GdiCaptureTest, FullViewShowsTheGridAtItsScaledPlaces) {
  ShowGrid();
  SetCursorPos(width - 1, height - 1);  // out of the way of the samples
  Pump(100);
  ASSERT_TRUE(capture->CaptureDesktop(true, 0, 0));
  const DecodedPicture view = Decode(kFullViewFile);
  for (int j = 0; j < 4; ++j)
    for (int i = 0; i < 4; ++i) ExpectColour(view, i * 64 + 32, j * 48 + 24, Rgb(kPalette[i + 4 * j]));
  EXPECT_FALSE(std::filesystem::exists(kRegionViewFile)) << "only the full view's file is written";
}

TEST_F(GdiCaptureTest, RegionViewIsUnscaledAndBlackPastTheRightEdge) {
  ShowGrid();
  SetCursorPos(0, height - 1);
  Pump(100);
  // The region starts 100 pixels left of the right edge, at a quarter of the height: the
  // first 100 columns are the top-right cell's row below it, the rest is black.
  const int x = width - 100;
  const int y = height / 4 + 20;
  ASSERT_TRUE(capture->CaptureDesktop(false, static_cast<uint16_t>(x), static_cast<uint16_t>(y)));
  const DecodedPicture view = Decode(kRegionViewFile);
  ExpectColour(view, 50, 60, Rgb(kPalette[3 + 4]));
  ExpectColour(view, 200, 60, 0x000000);
  ExpectColour(view, 250, 180, 0x000000);

  ASSERT_TRUE(capture->CaptureDesktop(false, static_cast<uint16_t>(width), 0));
  const DecodedPicture outside = Decode(kRegionViewFile);
  for (int py : {10, 96, 180})
    for (int px : {10, 128, 250}) ExpectColour(outside, px, py, 0x000000);
}

// Wine reports the cursor as showing only while one of its windows is under the pointer,
// which the grid window is here.
TEST_F(GdiCaptureTest, CursorIsDrawnWithItsHotSpotOnThePointer) {
  g_cursor = MakeSquareCursor();
  ASSERT_NE(g_cursor, nullptr);
  ShowGrid();
  // Inside the first grid cell, red, so that the white square stands out.
  const int px = 60, py = 50;
  SetCursorPos(px, py);
  Pump(100);
  SetCursor(g_cursor);
  Pump(100);
  CursorRecord cursor;
  ASSERT_TRUE(DefaultDesktopSource().ReadCursor(&cursor));
  if (cursor.flags != kCursorShowing)
    GTEST_SKIP() << "the platform reports the cursor as not showing (flags " << cursor.flags << ")";
  EXPECT_EQ(cursor.x, px);
  EXPECT_EQ(cursor.y, py);
  if (cursor.cursor != reinterpret_cast<IconHandle>(g_cursor))
    GTEST_SKIP() << "the platform reports another cursor than the window's";
  ASSERT_TRUE(capture->CaptureDesktop(false, 0, 0));
  const DecodedPicture view = Decode(kRegionViewFile);
  // The square spans (52, 42) to (83, 73).
  ExpectColour(view, 60, 50, 0xFFFFFF);
  ExpectColour(view, 78, 68, 0xFFFFFF);
  ExpectColour(view, 40, 30, Rgb(kPalette[0]));
  ExpectColour(view, 95, 85, Rgb(kPalette[0]));
}

TEST_F(GdiCaptureTest, UnwritableFileFails) {
  std::filesystem::create_directory(kFullViewFile);
  EXPECT_FALSE(capture->CaptureDesktop(true, 0, 0));
  EXPECT_TRUE(capture->CaptureDesktop(false, 0, 0));
  std::filesystem::remove(kFullViewFile);
}

TEST_F(GdiCaptureTest, RepeatedCapturesLeakNoHandles) {
  ASSERT_TRUE(capture->CaptureDesktop(true, 0, 0));
  const DWORD gdiBefore = GetGuiResources(GetCurrentProcess(), GR_GDIOBJECTS);
  const DWORD userBefore = GetGuiResources(GetCurrentProcess(), GR_USEROBJECTS);
  if (gdiBefore == 0 && userBefore == 0) GTEST_SKIP() << "the platform does not count handles (Wine)";
  for (int i = 0; i < 20; ++i) ASSERT_TRUE(capture->CaptureDesktop(i % 2 == 0, 0, 0));
  EXPECT_EQ(GetGuiResources(GetCurrentProcess(), GR_GDIOBJECTS), gdiBefore);
  EXPECT_EQ(GetGuiResources(GetCurrentProcess(), GR_USEROBJECTS), userBefore);
}

}  // namespace
}  // namespace ravelo
