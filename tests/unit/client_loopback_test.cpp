// The real client library against the real session, over the platform's own UDP sockets on
// loopback. The server is polled from the client's clock: every 5 ms of (virtual) waiting
// is one main-loop pass, so a 16 s session takes a fraction of a second.
#include <gtest/gtest.h>

#include <chrono>
#include <memory>
#include <thread>

#include "client/client.h"
#include "client/platform.h"
#include "fake_socket_layer.h"  // Endpoint()
#include "fake_session_clock.h"
#include "recording_log.h"
#include "server/stream_server.h"

namespace ravelo {
namespace {

constexpr int kPassMs = 5;

class ServerPassClock : public ClientClock {
 public:
  explicit ServerPassClock(StreamServer& server) : server_(server) {}
  int passes = 0;

  std::int64_t NowMs() override { return now_; }
  void SleepMs(int ms) override {
    for (int i = 0; i < ms; ++i) {
      if (++now_ % kPassMs == 0) {
        server_.PollNetwork();
        ++passes;
        // Loopback delivery is quick but not instant.
        std::this_thread::sleep_for(std::chrono::microseconds(20));
      }
    }
  }

 private:
  StreamServer& server_;
  std::int64_t now_ = 0;
};

class ClientLoopbackTest : public ::testing::Test {
 protected:
  std::unique_ptr<SocketLayer> server_socket = MakeSocketLayer();
  std::unique_ptr<SocketLayer> client_socket = MakeSocketLayer();
  RecordingLog log;
  FakeSessionClock session_clock;  // a pass a poll
  StreamServer* server = nullptr;
  std::unique_ptr<StreamServer> owned;
  std::unique_ptr<ServerPassClock> clock;
  std::uint16_t port = 0;

  void SetUp() override {
    // A port of our own, so that a server running on 8888 does not get in the way.
    for (std::uint16_t p = 38888; p < 38988 && !server; ++p) {
      owned = std::make_unique<StreamServer>(p, ServerServices{*server_socket, log, session_clock, nullptr});
      if (owned->StartServer("secret")) {
        server = owned.get();
        port = p;
      }
    }
    ASSERT_NE(server, nullptr) << "no free UDP port in 38888..38987";
    clock = std::make_unique<ServerPassClock>(*server);
    log.lines.clear();
  }
  void TearDown() override {
    if (server) server->StopServer();
  }
  Ipv4Endpoint ServerAddress() const { return Endpoint(127, 0, 0, 1, port); }
};

TEST_F(ClientLoopbackTest, RefusedThenAcceptedThenGoodbye) {
  RaveloClient client(ClientServices{*client_socket, *clock}, ServerAddress());
  ASSERT_EQ(client.Open(), 0);

  EXPECT_EQ(client.Connect("Secret", 1000), ConnectResult::kRefused);
  EXPECT_FALSE(server->IsConnected());
  EXPECT_EQ(client.Connect("secret", 1000), ConnectResult::kAccepted);
  EXPECT_TRUE(server->IsConnected());
  EXPECT_EQ(server->ClientAddress().address, (std::array<std::uint8_t, 4>{127, 0, 0, 1}));

  client.Goodbye();
  clock->SleepMs(50);
  EXPECT_FALSE(server->IsConnected());
  EXPECT_EQ(log.lines, (std::vector<std::string>{"Connection rejected from 127.0.0.1.",
                                                 "Connection accepted from 127.0.0.1.",
                                                 "Client disconnected."}));
}

TEST_F(ClientLoopbackTest, HeldSessionOutlivesTheServersTimeOut) {
  RaveloClient client(ClientServices{*client_socket, *clock}, ServerAddress());
  ASSERT_EQ(client.Open(), 0);
  ASSERT_EQ(client.Connect("secret", 1000), ConnectResult::kAccepted);

  // 3200 passes: past the 3001 after which a silent client is dropped.
  client.Hold(3200 * kPassMs);
  EXPECT_GE(clock->passes, 3200);
  EXPECT_TRUE(server->IsConnected());
  // Keep-alives go out every 501 passes; allow one lost to timing at either end.
  EXPECT_GE(client.ServerKeepAlives(), 5);
  EXPECT_LE(client.ServerKeepAlives(), 7);
  EXPECT_EQ(log.lines, std::vector<std::string>{"Connection accepted from 127.0.0.1."});
}

TEST_F(ClientLoopbackTest, OnlyTheConnectedPortCanEndTheSession) {
  std::unique_ptr<SocketLayer> other_socket = MakeSocketLayer();
  RaveloClient client(ClientServices{*client_socket, *clock}, ServerAddress());
  RaveloClient other(ClientServices{*other_socket, *clock}, ServerAddress());
  ASSERT_EQ(client.Open(), 0);
  ASSERT_EQ(other.Open(), 0);
  ASSERT_EQ(client.Connect("secret", 1000), ConnectResult::kAccepted);

  other.Goodbye();
  clock->SleepMs(50);
  EXPECT_TRUE(server->IsConnected());
  client.Goodbye();
  clock->SleepMs(50);
  EXPECT_FALSE(server->IsConnected());
}

}  // namespace
}  // namespace ravelo
