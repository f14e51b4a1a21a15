#include "server/stream_server.h"

#include <gtest/gtest.h>

#include "fake_input_injector.h"
#include "fake_session_clock.h"
#include "fake_socket_layer.h"
#include "recording_log.h"

namespace ravelo {
namespace {

using Bytes = std::vector<std::uint8_t>;

const Ipv4Endpoint kClient = Endpoint(127, 0, 0, 1, 40000);
const Ipv4Endpoint kOther = Endpoint(127, 0, 0, 2, 40001);

class StreamServerTest : public ::testing::Test {
 protected:
  FakeSocketLayer net;
  RecordingLog log;
  FakeInputInjector input;
  FakeSessionClock clock;
  StreamServer server{8888, ServerServices{net, log, clock, &input}};

  void Start(const std::string& password = "secret") {
    ASSERT_TRUE(server.StartServer(password));
    log.lines.clear();
  }
  void Connect(const Ipv4Endpoint& from = kClient, const std::string& password = "secret") {
    Bytes b{0};
    b.insert(b.end(), password.begin(), password.end());
    Receive(b, from);
  }
  void Receive(const Bytes& b, const Ipv4Endpoint& from = kClient) {
    net.Queue(b, from);
    server.PollNetwork();
  }
  void Passes(int n) {
    for (int i = 0; i < n; ++i) server.PollNetwork();
  }
  int KeepAlivesSent() const {
    int n = 0;
    for (const auto& d : net.sent) n += d.bytes == Bytes{2};
    return n;
  }
};

TEST_F(StreamServerTest, StartOutcomes) {
  struct Case {
    const char* name;
    int startup_error;
    int bind_error;
    bool nonblocking_ok;
    bool started;
    const char* line;
  };
  const Case cases[] = {
      {"ok", 0, 0, true, true, "Server opened on port 8888."},
      {"startup", 10091, 0, true, false, "Stupid Winsock couldn't startup. Error: 10091"},
      {"bind", 0, 10048, true, false,
       "bind() error: 10048. This probably means port 8888 is already in use."},
      {"nonblocking", 0, 0, false, false, "Set nonblocking failed."},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    FakeSocketLayer n;
    RecordingLog l;
    FakeSessionClock sc;
    StreamServer s(8888, ServerServices{n, l, sc, nullptr});
    n.startup_error = c.startup_error;
    n.bind_error = c.bind_error;
    n.nonblocking_ok = c.nonblocking_ok;
    EXPECT_EQ(s.StartServer("pw"), c.started);
    EXPECT_EQ(s.IsRunning(), c.started);
    EXPECT_EQ(l.lines, std::vector<std::string>{c.line});
    if (!c.started) {
      // A failed start leaves neither a socket nor a socket-layer start-up behind.
      EXPECT_FALSE(n.open);
      EXPECT_EQ(n.LayerBalance(), 0);
      // ... so the next start works.
      n.startup_error = 0;
      n.bind_error = 0;
      n.nonblocking_ok = true;
      EXPECT_TRUE(s.StartServer("pw"));
    }
    s.StopServer();
    EXPECT_FALSE(n.open);
    EXPECT_EQ(n.LayerBalance(), 0);
  }
}

TEST_F(StreamServerTest, StartTwiceKeepsTheRunningServer) {
  Start();
  Connect();
  EXPECT_FALSE(server.StartServer("other"));
  EXPECT_EQ(log.lines.back(), "Server is already running.");
  EXPECT_TRUE(server.IsRunning());
  EXPECT_TRUE(server.IsConnected());
  EXPECT_EQ(net.opens, 1);
  // The old password still holds.
  Connect(kOther, "other");
  EXPECT_EQ(log.lines.back(), "Connection rejected from 127.0.0.2.");
}

TEST_F(StreamServerTest, StopLogsClosedWhetherRunningOrNot) {
  server.StopServer();
  EXPECT_EQ(log.lines, std::vector<std::string>{"Server closed."});
  log.lines.clear();
  Start();
  Connect();
  log.lines.clear();
  server.StopServer();
  // Stopping with a client says nothing about the client.
  EXPECT_EQ(log.lines, std::vector<std::string>{"Server closed."});
  EXPECT_FALSE(server.IsConnected());
  EXPECT_FALSE(net.open);
  EXPECT_EQ(net.LayerBalance(), 0);
  // A stopped server restarts with a new password.
  Start("new");
  Connect(kClient, "new");
  EXPECT_TRUE(server.IsConnected());
}

TEST_F(StreamServerTest, ConnectPasswordMatching) {
  struct Case {
    const char* name;
    std::string stored;
    Bytes datagram;
    bool accepted;
  };
  const Case cases[] = {
      {"exact", "secret", {0, 's', 'e', 'c', 'r', 'e', 't'}, true},
      {"with NUL", "secret", {0, 's', 'e', 'c', 'r', 'e', 't', 0}, true},
      {"bytes after NUL ignored", "secret", {0, 's', 'e', 'c', 'r', 'e', 't', 0, 'x', 'y'}, true},
      {"other case", "secret", {0, 'S', 'e', 'c', 'r', 'e', 't'}, false},
      {"prefix", "secret", {0, 's', 'e', 'c'}, false},
      {"longer", "secret", {0, 's', 'e', 'c', 'r', 'e', 't', 's'}, false},
      {"type alone, empty password", "", {0}, true},
      {"NUL alone, empty password", "", {0, 0}, true},
      {"empty text, password set", "secret", {0}, false},
      {"text, empty password", "", {0, 'a'}, false},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    FakeSocketLayer n;
    RecordingLog l;
    FakeSessionClock sc;
    StreamServer s(8888, ServerServices{n, l, sc, nullptr});
    ASSERT_TRUE(s.StartServer(c.stored));
    n.Queue(c.datagram, kClient);
    s.PollNetwork();
    EXPECT_EQ(s.IsConnected(), c.accepted);
    ASSERT_EQ(n.sent.size(), 1u);
    EXPECT_EQ(n.sent[0].bytes, (Bytes{0, static_cast<std::uint8_t>(c.accepted ? 1 : 0)}));
    EXPECT_EQ(n.sent[0].peer, kClient);
    EXPECT_EQ(l.lines.back(), c.accepted ? "Connection accepted from 127.0.0.1."
                                         : "Connection rejected from 127.0.0.1.");
  }
}

TEST_F(StreamServerTest, RejectedConnectLeavesTheClientAlone) {
  Start();
  Connect();
  net.sent.clear();
  Connect(kOther, "wrong");
  EXPECT_TRUE(server.IsConnected());
  EXPECT_EQ(server.ClientAddress(), kClient);
  ASSERT_EQ(net.sent.size(), 1u);
  EXPECT_EQ(net.sent[0].bytes, (Bytes{0, 0}));
  EXPECT_EQ(net.sent[0].peer, kOther);
}

TEST_F(StreamServerTest, SecondAddressTakesTheSessionOver) {
  Start();
  Connect();
  Passes(300);
  Connect(kOther);
  EXPECT_EQ(server.ClientAddress(), kOther);
  EXPECT_EQ(log.lines.back(), "Connection accepted from 127.0.0.2.");
  net.sent.clear();
  // Counters restarted with the takeover: the keep-alive goes to the new client in its pass 501.
  Passes(499);
  EXPECT_EQ(KeepAlivesSent(), 0);
  Passes(1);
  ASSERT_EQ(KeepAlivesSent(), 1);
  EXPECT_EQ(net.sent.back().peer, kOther);
  // The old client no longer drives anything.
  Receive({3, 10, 10}, kClient);
  EXPECT_TRUE(input.events.empty());
}

TEST_F(StreamServerTest, KeepAliveAndTimeOutPassCounts) {
  Start();
  Connect();  // pass 1
  std::vector<int> keep_alive_passes;
  int dropped_in = 0;
  for (int pass = 2; pass <= 3100 && dropped_in == 0; ++pass) {
    std::size_t before = net.sent.size();
    server.PollNetwork();
    if (net.sent.size() > before) {
      EXPECT_EQ(net.sent.back().bytes, Bytes{2});
      EXPECT_EQ(net.sent.back().peer, kClient);
      keep_alive_passes.push_back(pass);
    }
    if (!server.IsConnected()) dropped_in = pass;
  }
  EXPECT_EQ(keep_alive_passes, (std::vector<int>{501, 1002, 1503, 2004, 2505}));
  EXPECT_EQ(dropped_in, 3001);
  EXPECT_EQ(log.lines.back(), "Client timed out.");
  EXPECT_EQ(server.ClientAddress().address, (std::array<std::uint8_t, 4>{0, 0, 0, 0}));
  EXPECT_EQ(server.ClientAddress().port, kClient.port);  // the port part stays
  // Nothing more goes out once the client is gone.
  std::size_t sent = net.sent.size();
  Passes(1000);
  EXPECT_EQ(net.sent.size(), sent);
}

TEST_F(StreamServerTest, ClientKeepAliveRestartsTheSilenceCount) {
  Start();
  Connect();               // pass 1
  Passes(2000);            // passes 2..2001
  Receive({2}, kClient);   // pass 2002 counts as pass 1 again
  Passes(2999);
  EXPECT_TRUE(server.IsConnected());
  Passes(1);
  EXPECT_FALSE(server.IsConnected());
  // The keep-alive schedule is the server's own and is not reset by the client's:
  // 5002 passes in all, one keep-alive every 501.
  EXPECT_EQ(KeepAlivesSent(), 9);
}

TEST_F(StreamServerTest, GoodbyeFromTheClientDisconnects) {
  Start();
  Connect();
  log.lines.clear();
  Receive({1}, kClient);
  EXPECT_FALSE(server.IsConnected());
  EXPECT_EQ(log.lines, std::vector<std::string>{"Client disconnected."});
}

TEST_F(StreamServerTest, OnlyTheConnectedClientDrivesTheSession) {
  // Nobody connected: every command type is ignored without a trace.
  Start();
  for (int type = 1; type <= 255; ++type) Receive({static_cast<std::uint8_t>(type), 1, 2, 3, 4});
  EXPECT_TRUE(input.events.empty());
  EXPECT_TRUE(log.lines.empty());
  EXPECT_TRUE(net.sent.empty());

  Connect();
  log.lines.clear();
  net.sent.clear();
  const Ipv4Endpoint strangers[] = {kOther, Endpoint(127, 0, 0, 1, 40001)};  // other host, other port
  for (const Ipv4Endpoint& from : strangers) {
    for (int type = 1; type <= 25; ++type) Receive({static_cast<std::uint8_t>(type), 1, 2}, from);
  }
  EXPECT_TRUE(input.events.empty());
  EXPECT_TRUE(log.lines.empty());
  EXPECT_TRUE(net.sent.empty());
  EXPECT_TRUE(server.IsConnected());
}

TEST_F(StreamServerTest, RoutesInputMessages) {
  struct Case {
    Bytes datagram;
    std::vector<std::string> events;
  };
  const Case cases[] = {
      {{3, 130, 96}, {"abs 130 96"}},
      {{4, 100, 50}, {"rel 100 50"}},
      {{5, 7, 8}, {"anchor 7 8"}},
      {{6, 1, 2, 3, 4}, {"region 1 2 3 4"}},
      {{9}, {"left down"}},
      {{10}, {"left up"}},
      {{12}, {"right down"}},
      {{13}, {"right up"}},
      {{15}, {"middle down"}},
      {{16}, {"middle up"}},
      {{17, 161}, {"key 161 down", "key 161 up"}},
      {{18, 65}, {"key 65 down"}},
      {{20, 65}, {"key 65 down"}},
      {{19, 65}, {"key 65 up"}},
      {{21, 65}, {"key 65 up"}},
      {{7, 1, 2}, {}},
      {{8, 1, 2}, {}},
      {{11}, {}},
      {{14}, {}},
      {{26, 1}, {}},
      {{255, 1}, {}},
  };
  Start();
  Connect();
  for (const Case& c : cases) {
    SCOPED_TRACE(static_cast<int>(c.datagram[0]));
    input.events.clear();
    net.sent.clear();
    Receive(c.datagram);
    EXPECT_EQ(input.events, c.events);
    EXPECT_TRUE(net.sent.empty());
  }
}

TEST_F(StreamServerTest, MissingPayloadBytesReadAsZero) {
  Start();
  Connect();
  Receive({6, 9, 9, 9, 9});  // leaves bytes in the receive buffer
  input.events.clear();
  Receive({6});
  Receive({3, 5});
  Receive({17});
  EXPECT_EQ(input.events,
            (std::vector<std::string>{"region 0 0 0 0", "abs 5 0", "key 0 down", "key 0 up"}));
}

TEST_F(StreamServerTest, AnchorOutlivesClientsAndRestarts) {
  Start();
  Connect();
  Receive({4, 100, 50});
  server.StopServer();
  Start();
  Connect(kOther);
  EXPECT_EQ(server.Anchor().x, 100);
  EXPECT_EQ(server.Anchor().y, 50);
}

TEST_F(StreamServerTest, OverLongDatagramHasNoEffect) {
  // An all-zero connect would match the empty password, if it got through.
  Start("");
  Receive(Bytes(1024, 0));
  EXPECT_FALSE(server.IsConnected());
  EXPECT_TRUE(net.sent.empty());
  Receive(Bytes(1023, 0));
  EXPECT_TRUE(server.IsConnected());
}

TEST_F(StreamServerTest, NothingHappensWhileStopped) {
  net.Queue({0}, kClient);
  server.PollNetwork();
  EXPECT_EQ(net.incoming.size(), 1u);
  EXPECT_TRUE(net.sent.empty());
}

}  // namespace
}  // namespace ravelo

namespace ravelo {
namespace {

// What the main loop is told to wait for, and when the session acts, on a clock the test moves.
class ScheduleTest : public StreamServerTest {
 protected:
  ScheduleTest() { clock.tick = 0; }
  void At(std::int64_t micros) { clock.now = micros; }
  std::string Waits() {
    const StreamServer::Wait w = server.NextWait();
    return std::string(w.socket ? "socket" : "-") + " " + std::to_string(w.timeoutMicros);
  }
};

// The waits with no client and right after the accept are MainLoopTest's.
TEST_F(ScheduleTest, TheLoopSleepsUntilThereIsWork) {
  EXPECT_EQ(Waits(), "- -1");  // stopped: nothing to wait for
  ASSERT_TRUE(server.StartServer("pw"));
  net.Queue({0, 'p', 'w'}, kClient);
  server.Serve(true);
  ASSERT_TRUE(server.IsConnected());
  At(1000);
  server.Serve(true);  // a datagram one millisecond later waits out the pass
  EXPECT_EQ(Waits(), "- 4000");
  At(5000);
  server.Serve(false);
  EXPECT_EQ(Waits(), "socket 2495000");

  // A quiet client: the program wakes for each keep-alive, 2.505 s apart, and drops the client
  // 15 s after it was last heard.
  std::vector<std::int64_t> keep_alives;
  for (std::int64_t t = 5000; server.IsConnected();) {
    t += server.NextWait().timeoutMicros;
    At(t);
    const std::size_t before = net.sent.size();
    server.Serve(false);
    if (net.sent.size() > before) keep_alives.push_back(t);
    if (!server.IsConnected()) {
      EXPECT_EQ(t, 15000000);
    }
  }
  EXPECT_EQ(keep_alives, (std::vector<std::int64_t>{2500000, 5005000, 7510000, 10015000, 12520000}));
  EXPECT_EQ(Waits(), "socket -1");
}

// That fast answers come sooner than this rhythm the e2e test shows.
TEST_F(ScheduleTest, PacedReadsKeepTheOldRhythm) {
  ASSERT_TRUE(server.StartServer(""));
  net.Queue({0}, kClient);
  server.Serve(true);
  // Three moves queued at once; the loop wakes every 100 us with the socket readable.
  for (int i = 0; i < 3; ++i) net.Queue({3, static_cast<std::uint8_t>(i), 0}, kClient);
  std::vector<std::int64_t> acted;
  for (std::int64_t t = 5000; t <= 20000 && acted.size() < 3; t += 100) {
    At(t);
    const std::size_t before = input.events.size();
    if (server.NextWait().socket || server.NextWait().timeoutMicros == 0) server.Serve(true);
    if (input.events.size() > before) acted.push_back(t - 5000);
  }
  EXPECT_EQ(acted, (std::vector<std::int64_t>{0, 5000, 10000}));
}

TEST_F(ScheduleTest, AModalBoxStopsTheSessionsTime) {
  ASSERT_TRUE(server.StartServer(""));
  net.Queue({0}, kClient);
  server.Serve(true);
  At(10000000);
  server.PauseClock();
  EXPECT_EQ(Waits(), "- -1");  // nothing is served while the box is open
  At(40000000);                // 30 s with the About box open
  server.Serve(true);
  server.ResumeClock();
  EXPECT_TRUE(server.IsConnected());
  // The time-out comes 15 s of session time after the accept: 30 s later by the wall clock.
  At(44999000);
  server.Serve(false);
  EXPECT_TRUE(server.IsConnected());
  At(45000000);
  server.Serve(false);
  EXPECT_FALSE(server.IsConnected());
}

}  // namespace
}  // namespace ravelo
