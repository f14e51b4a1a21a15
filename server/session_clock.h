// The session's clock: a monotonic count of microseconds. Keep-alives, time-outs and the
// guessing limit are spans of it; the program gives the steady clock, tests a fake they move.
#pragma once

#include <cstdint>
#include <memory>

namespace ravelo {

class SessionClock {
 public:
  virtual ~SessionClock() = default;
  virtual std::int64_t NowMicros() = 0;
};

std::unique_ptr<SessionClock> MakeSteadyClock();

}  // namespace ravelo
