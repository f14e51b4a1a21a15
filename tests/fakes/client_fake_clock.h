// A clock that only moves when slept on, and runs scripted actions (a datagram arriving,
// say) when it reaches their time.
#pragma once

#include <cstdint>
#include <functional>
#include <map>

#include "client/client_clock.h"

namespace ravelo {

class FakeClock : public ClientClock {
 public:
  std::int64_t now = 0;
  std::int64_t slept = 0;

  void At(std::int64_t when, std::function<void()> action) {
    actions_.emplace(when, std::move(action));
  }

  std::int64_t NowMs() override { return now; }
  void SleepMs(int ms) override {
    slept += ms;
    Advance(ms);
  }
  // Time that passes while the client is busy rather than asleep.
  void Advance(std::int64_t ms) {
    now += ms;
    while (!actions_.empty() && actions_.begin()->first <= now) {
      auto action = std::move(actions_.begin()->second);
      actions_.erase(actions_.begin());
      action();
    }
  }

 private:
  std::multimap<std::int64_t, std::function<void()>> actions_;
};

}  // namespace ravelo
