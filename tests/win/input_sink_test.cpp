// The input sink under Wine against the real SendInput and keyboard layout: the pointer
// lands where the absolute scale says, and typed characters reach a window of the test's
// own with the right Shift state.
#define NOMINMAX
#include <windows.h>

#include <gtest/gtest.h>

#include <string>

#include "input/win32/win32_input_sink.h"

namespace ravelo {
namespace {

std::string g_typed;
std::string g_keys;  // "d41 u41 ..." for WM_KEYDOWN / WM_KEYUP

LRESULT CALLBACK RecorderProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  char text[16];
  switch (message) {
    case WM_CHAR:
      g_typed += static_cast<char>(wParam);
      return 0;
    case WM_KEYDOWN:
    case WM_KEYUP:
      std::snprintf(text, sizeof text, "%s%02X ", message == WM_KEYDOWN ? "d" : "u",
                    static_cast<unsigned>(wParam));
      g_keys += text;
      return 0;
    default:
      return DefWindowProcA(window, message, wParam, lParam);
  }
}

void Pump(int ms) {
  DWORD until = GetTickCount() + static_cast<DWORD>(ms);
  while (GetTickCount() < until) {
    MSG msg;
    while (PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE)) {
      TranslateMessage(&msg);
      DispatchMessageA(&msg);
    }
    Sleep(5);
  }
}

// No desktop size is needed for keys; region moves are tested natively.
class NoDesktop : public DesktopCapture {
 public:
  bool DesktopSize(std::uint16_t&, std::uint16_t&) override { return false; }
  bool CaptureDesktop(bool, std::uint16_t, std::uint16_t) override { return false; }
};

TEST(Win32InputSinkTest, LayoutLookupOfTheUsKeyboard) {
  Win32InputSink sink;
  struct Case {
    char c;
    std::uint16_t key;
    std::uint8_t modifiers;
  };
  const Case cases[] = {{'a', 'A', 0}, {'A', 'A', modifier::kShift}, {'1', '1', 0},
                        {'!', '1', modifier::kShift}, {' ', VK_SPACE, 0}, {'z', 'Z', 0}};
  for (const Case& c : cases) {
    SCOPED_TRACE(c.c);
    EXPECT_EQ(static_cast<std::uint16_t>(VkKeyScanA(c.c)), c.key | c.modifiers << 8);
    std::optional<LayoutKey> k = sink.ScanCharacter(static_cast<std::uint8_t>(c.c));
    ASSERT_TRUE(k.has_value());
    EXPECT_EQ(k->key, c.key);
    EXPECT_EQ(k->modifiers, c.modifiers);
  }
}

TEST(Win32InputSinkTest, AbsoluteMovesLandOnTheScale) {
  Win32InputSink sink;
  const int w = GetSystemMetrics(SM_CXSCREEN);
  const int h = GetSystemMetrics(SM_CYSCREEN);
  struct Case {
    std::int32_t nx, ny;
    int x, y;
  };
  const Case cases[] = {{0, 0, 0, 0}, {32768, 32768, w / 2, h / 2}, {65535, 65535, w - 1, h - 1},
                        {8191, 8191, w / 8, h / 8}};
  for (const Case& c : cases) {
    sink.SendPointerMove(c.nx, c.ny, false);
    EXPECT_EQ(sink.LastAccepted(), 1u);
    POINT p{};
    GetCursorPos(&p);
    EXPECT_NEAR(p.x, c.x, 1) << c.nx;
    EXPECT_NEAR(p.y, c.y, 1) << c.ny;
  }
}

TEST(Win32InputSinkTest, TypedCharactersArriveAsTypedAndHeldKeysAreLetGo) {
  WNDCLASSA wc{};
  wc.lpfnWndProc = RecorderProc;
  wc.hInstance = GetModuleHandleA(nullptr);
  wc.lpszClassName = "RaveloInputRecorder";
  RegisterClassA(&wc);
  HWND window = CreateWindowExA(WS_EX_TOPMOST, wc.lpszClassName, "recorder", WS_POPUP | WS_VISIBLE,
                                100, 100, 200, 200, nullptr, nullptr, wc.hInstance, nullptr);
  ASSERT_NE(window, nullptr);
  SetForegroundWindow(window);
  SetFocus(window);
  Pump(300);
  if (GetForegroundWindow() != window) GTEST_SKIP() << "the test window cannot take the focus";

  Win32InputSink sink;
  NoDesktop desktop;
  SinkInputInjector input(sink, desktop);
  for (char c : std::string("Hello!")) {
    input.SendKey(static_cast<std::uint8_t>(c), true);
    EXPECT_EQ(sink.LastAccepted(), 1u);
    input.SendKey(static_cast<std::uint8_t>(c), false);
  }
  input.SendKey(161, true);  // Enter from the key table
  input.SendKey(161, false);
  Pump(300);
  EXPECT_EQ(g_typed, "Hello!\r");

  // A key held with Shift: Shift goes up at once, the key when the session ends.
  g_keys.clear();
  input.SendKey('Q', true);
  Pump(200);
  EXPECT_EQ(g_keys, "d10 d51 u10 ");
  EXPECT_LT(GetAsyncKeyState('Q'), 0);
  input.ReleaseHeld();
  Pump(200);
  EXPECT_EQ(g_keys, "d10 d51 u10 u51 ");
  EXPECT_GE(GetAsyncKeyState('Q'), 0);
  DestroyWindow(window);
}

}  // namespace
}  // namespace ravelo
