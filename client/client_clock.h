// The client's sense of time: a monotonic millisecond clock and a sleep, behind a seam so
// that tests can run a 16-second session without waiting for it.
#pragma once

#include <cstdint>

#include "wire/socket_layer.h"

namespace ravelo {

class ClientClock {
 public:
  virtual ~ClientClock() = default;
  // Milliseconds from an arbitrary start; never goes backwards.
  virtual std::int64_t NowMs() = 0;
  // Microseconds, for timing; as fine as the platform's clock allows.
  virtual std::int64_t NowUs() { return NowMs() * 1000; }
  virtual void SleepMs(int ms) = 0;
  // Waits `ms` for the next datagram on `socket`; a real clock returns as soon as one comes.
  virtual void Nap(SocketLayer& socket, int ms) {
    (void)socket;
    SleepMs(ms);
  }
};

}  // namespace ravelo
