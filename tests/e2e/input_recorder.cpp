// A window that writes down the pointer and keyboard messages it receives, one line each,
// so that the e2e tests can see what injected input reaches a program (under Wine, injected
// buttons and keys reach only Wine's own windows).
//
//   input_recorder LOGFILE [X Y W H]     lines: "ready", "button left down X Y",
//                                        "key down 41 shift=1", "char 65"
#include <windows.h>

#include <cstdarg>
#include <cstdio>
#include <cstdlib>

namespace {

std::FILE* g_log = nullptr;

void Line(const char* format, ...) {
  va_list args;
  va_start(args, format);
  std::vfprintf(g_log, format, args);
  va_end(args);
  std::fputc('\n', g_log);
  std::fflush(g_log);
}

const char* ButtonOf(UINT message) {
  switch (message) {
    case WM_LBUTTONDOWN: case WM_LBUTTONUP: return "left";
    case WM_RBUTTONDOWN: case WM_RBUTTONUP: return "right";
    default: return "middle";
  }
}

LRESULT CALLBACK RecorderProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  switch (message) {
    case WM_LBUTTONDOWN: case WM_RBUTTONDOWN: case WM_MBUTTONDOWN:
    case WM_LBUTTONUP: case WM_RBUTTONUP: case WM_MBUTTONUP: {
      const bool down = message == WM_LBUTTONDOWN || message == WM_RBUTTONDOWN || message == WM_MBUTTONDOWN;
      Line("button %s %s %d %d", ButtonOf(message), down ? "down" : "up",
           static_cast<int>(static_cast<short>(LOWORD(lParam))),
           static_cast<int>(static_cast<short>(HIWORD(lParam))));
      if (down) SetCapture(window); else ReleaseCapture();
      return 0;
    }
    case WM_KEYDOWN: case WM_KEYUP: case WM_SYSKEYDOWN: case WM_SYSKEYUP:
      Line("key %s %02X shift=%d", message == WM_KEYDOWN || message == WM_SYSKEYDOWN ? "down" : "up",
           static_cast<unsigned>(wParam), GetKeyState(VK_SHIFT) < 0 ? 1 : 0);
      return 0;
    case WM_CHAR:
      Line("char %u", static_cast<unsigned>(wParam));
      return 0;
    case WM_DESTROY:
      PostQuitMessage(0);
      return 0;
    default:
      return DefWindowProcA(window, message, wParam, lParam);
  }
}

}  // namespace

int main(int argc, char** argv) {
  if (argc < 2) {
    std::fprintf(stderr, "usage: input_recorder LOGFILE [X Y W H]\n");
    return 2;
  }
  g_log = std::fopen(argv[1], "w");
  if (g_log == nullptr) return 1;
  int x = 200, y = 150, w = 400, h = 300;
  if (argc >= 6) {
    x = std::atoi(argv[2]); y = std::atoi(argv[3]); w = std::atoi(argv[4]); h = std::atoi(argv[5]);
  }
  WNDCLASSA wc{};
  wc.lpfnWndProc = RecorderProc;
  wc.hInstance = GetModuleHandleA(nullptr);
  wc.hCursor = LoadCursorA(nullptr, MAKEINTRESOURCEA(32512));
  wc.hbrBackground = static_cast<HBRUSH>(GetStockObject(WHITE_BRUSH));
  wc.lpszClassName = "RaveloInputRecorder";
  RegisterClassA(&wc);
  HWND window = CreateWindowExA(WS_EX_TOPMOST, wc.lpszClassName, "Ravelo input recorder",
                                WS_POPUP | WS_VISIBLE, x, y, w, h, nullptr, nullptr, wc.hInstance, nullptr);
  if (window == nullptr) return 1;
  SetForegroundWindow(window);
  SetFocus(window);
  Line("ready");
  MSG msg;
  while (GetMessageA(&msg, nullptr, 0, 0) > 0) {
    TranslateMessage(&msg);
    DispatchMessageA(&msg);
  }
  std::fclose(g_log);
  return 0;
}
