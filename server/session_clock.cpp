#include "server/session_clock.h"

#include <chrono>

namespace ravelo {
namespace {

class SteadyClock : public SessionClock {
 public:
  std::int64_t NowMicros() override {
    return std::chrono::duration_cast<std::chrono::microseconds>(std::chrono::steady_clock::now().time_since_epoch())
        .count();
  }
};

}  // namespace

std::unique_ptr<SessionClock> MakeSteadyClock() { return std::make_unique<SteadyClock>(); }

}  // namespace ravelo
