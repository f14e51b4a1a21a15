// The session's clock in tests. By default each reading is one pass of the old 5 ms loop later,
// so that a test polling the server once per pass sees the spans it counted in passes; with
// `tick` 0 the test moves `now` itself.
#pragma once

#include "server/session_clock.h"
#include "wire/protocol.h"

namespace ravelo {

class FakeSessionClock : public SessionClock {
 public:
  std::int64_t now = 0;
  std::int64_t tick = wire::kPassMicros;
  std::int64_t NowMicros() override {
    now += tick;
    return now;
  }
};

}  // namespace ravelo
