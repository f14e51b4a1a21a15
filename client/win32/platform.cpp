#include "client/platform.h"

#include <windows.h>

#include "wire/win32/winsock_layer.h"

namespace ravelo {
namespace {

// Without a 1 ms timer period every short sleep lasts a whole 15.6 ms tick, which would
// make the client slow to answer and its timestamps coarse.
class WindowsClock : public ClientClock {
 public:
  WindowsClock() { timeBeginPeriod(1); }
  ~WindowsClock() override { timeEndPeriod(1); }
  std::int64_t NowMs() override { return static_cast<std::int64_t>(GetTickCount64()); }
  std::int64_t NowUs() override {
    LARGE_INTEGER now, frequency;
    QueryPerformanceCounter(&now);
    QueryPerformanceFrequency(&frequency);
    return now.QuadPart / frequency.QuadPart * 1000000 +
           now.QuadPart % frequency.QuadPart * 1000000 / frequency.QuadPart;
  }
  void SleepMs(int ms) override { Sleep(static_cast<DWORD>(ms)); }
  void Nap(SocketLayer& socket, int ms) override {
    if (socket.WaitReadable(ms) < 0) SleepMs(ms);
  }
};

}  // namespace

std::unique_ptr<SocketLayer> MakeSocketLayer() { return std::make_unique<WinsockLayer>(); }
std::unique_ptr<ClientClock> MakeSystemClock() { return std::make_unique<WindowsClock>(); }

}  // namespace ravelo
