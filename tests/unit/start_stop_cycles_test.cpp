// Start and stop the session a thousand times over the real socket layer: after every stop,
// and after every start that failed, the port can be bound by someone else at once.
#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <thread>

#include "fake_session_clock.h"
#include "recording_log.h"
#include "wire/posix/bsd_socket_layer.h"
#include "server/stream_server.h"

namespace ravelo {
namespace {

using Bytes = std::vector<std::uint8_t>;

// The real layer, with start-up and the switch to non-blocking failing on demand.
class FailingLayer : public BsdSocketLayer {
 public:
  bool fail_startup = false;
  bool fail_nonblocking = false;
  int Startup() override { return fail_startup ? 10091 : BsdSocketLayer::Startup(); }
  bool SetNonBlocking() override { return !fail_nonblocking && BsdSocketLayer::SetNonBlocking(); }
};

// Whether this process can bind `port` right now (and lets it go again).
bool PortIsFree(std::uint16_t port) {
  BsdSocketLayer probe;
  bool free = probe.OpenAndBind(port) == 0;
  probe.Close();
  return free;
}

std::uint16_t FreePort() {
  for (std::uint16_t port = 28888; port < 29888; ++port) {
    if (PortIsFree(port)) return port;
  }
  return 0;
}

class StartStopTest : public ::testing::Test {
 protected:
  std::uint16_t port = FreePort();
  FailingLayer layer;
  RecordingLog log;
  FakeSessionClock clock;
  StreamServer server{port, ServerServices{layer, log, clock}};
  BsdSocketLayer client;

  void SetUp() override {
    ASSERT_NE(port, 0);
    ASSERT_EQ(client.OpenAndBind(0), 0);
    ASSERT_TRUE(client.SetNonBlocking());
  }

  // A connect from the client socket over loopback, polled until the answer comes back.
  Bytes ConnectOverLoopback(const std::string& password) {
    Bytes request{0};
    request.insert(request.end(), password.begin(), password.end());
    Ipv4Endpoint to;
    to.address = {127, 0, 0, 1};
    to.port = port;
    client.SendTo(request.data(), static_cast<int>(request.size()), to);
    std::uint8_t buffer[16];
    for (int tries = 0; tries < 2000; ++tries) {
      server.PollNetwork();
      Ipv4Endpoint from;
      int n = client.ReceiveFrom(buffer, sizeof buffer, &from);
      if (n > 0) return Bytes(buffer, buffer + n);
      std::this_thread::sleep_for(std::chrono::microseconds(50));
    }
    return {};
  }
};

TEST_F(StartStopTest, AThousandCyclesGiveThePortBackEveryTime) {
  for (int cycle = 0; cycle < 1000; ++cycle) {
    ASSERT_TRUE(server.StartServer("pw")) << "cycle " << cycle;
    ASSERT_FALSE(PortIsFree(port)) << "cycle " << cycle;
    ASSERT_EQ(ConnectOverLoopback("pw"), (Bytes{0, 1})) << "cycle " << cycle;
    server.StopServer();
    ASSERT_TRUE(PortIsFree(port)) << "cycle " << cycle;
  }
  EXPECT_EQ(std::count(log.lines.begin(), log.lines.end(), "Server closed."), 1000);
  EXPECT_EQ(std::count(log.lines.begin(), log.lines.end(), "Connection accepted from 127.0.0.1."), 1000);
}

TEST_F(StartStopTest, FailedStartsGiveThePortBack) {
  struct Case {
    const char* name;
    bool fail_startup;
    bool fail_nonblocking;
    std::string line;
  };
  const Case cases[] = {
      // A failed bind and the retry are the native e2e test's (test_busy_port_then_retry).
      {"start-up", true, false, "Stupid Winsock couldn't startup. Error: 10091"},
      {"non-blocking, after the bind", false, true, "Set nonblocking failed."},
  };
  for (int cycle = 0; cycle < 100; ++cycle) {
    for (const Case& c : cases) {
      SCOPED_TRACE(c.name);
      layer.fail_startup = c.fail_startup;
      layer.fail_nonblocking = c.fail_nonblocking;
      log.lines.clear();
      ASSERT_FALSE(server.StartServer("pw"));
      ASSERT_EQ(log.lines, std::vector<std::string>{c.line});
      ASSERT_TRUE(PortIsFree(port)) << "cycle " << cycle;
      // ... and the next start works.
      layer.fail_startup = false;
      layer.fail_nonblocking = false;
      ASSERT_TRUE(server.StartServer("pw"));
      ASSERT_EQ(ConnectOverLoopback("pw"), (Bytes{0, 1}));
      server.StopServer();
      ASSERT_TRUE(PortIsFree(port));
    }
  }
}

}  // namespace
}  // namespace ravelo
