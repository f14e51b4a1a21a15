#include "client/platform.h"

#include <chrono>
#include <thread>

#include "wire/posix/bsd_socket_layer.h"

namespace ravelo {
namespace {

class SteadyClock : public ClientClock {
 public:
  std::int64_t NowMs() override {
    return std::chrono::duration_cast<std::chrono::milliseconds>(
               std::chrono::steady_clock::now().time_since_epoch())
        .count();
  }
  std::int64_t NowUs() override {
    return std::chrono::duration_cast<std::chrono::microseconds>(
               std::chrono::steady_clock::now().time_since_epoch())
        .count();
  }
  void SleepMs(int ms) override { std::this_thread::sleep_for(std::chrono::milliseconds(ms)); }
  void Nap(SocketLayer& socket, int ms) override {
    if (socket.WaitReadable(ms) < 0) SleepMs(ms);
  }
};

}  // namespace

std::unique_ptr<SocketLayer> MakeSocketLayer() { return std::make_unique<BsdSocketLayer>(); }
std::unique_ptr<ClientClock> MakeSystemClock() { return std::make_unique<SteadyClock>(); }

}  // namespace ravelo
