#include "client/client.h"

#include <gtest/gtest.h>

#include "client_fake_clock.h"
#include "fake_socket_layer.h"

namespace ravelo {
namespace {

using Bytes = std::vector<std::uint8_t>;

const Ipv4Endpoint kServer = Endpoint(127, 0, 0, 1, 8888);
const Ipv4Endpoint kStranger = Endpoint(127, 0, 0, 2, 8888);

// Notes the clock's time of every send and the port asked for.
class TimedSocket : public FakeSocketLayer {
 public:
  explicit TimedSocket(ClientClock& clock) : clock_(clock) {}
  std::vector<std::int64_t> send_times;
  int bound_port = -1;

  int OpenAndBind(std::uint16_t port) override {
    bound_port = port;
    return FakeSocketLayer::OpenAndBind(port);
  }
  void SendTo(const std::uint8_t* data, int length, const Ipv4Endpoint& to) override {
    send_times.push_back(clock_.NowMs());
    FakeSocketLayer::SendTo(data, length, to);
  }
  std::vector<std::int64_t> TimesOf(const Bytes& bytes) const {
    std::vector<std::int64_t> times;
    for (std::size_t i = 0; i < sent.size(); ++i) {
      if (sent[i].bytes == bytes) times.push_back(send_times[i]);
    }
    return times;
  }

 private:
  ClientClock& clock_;
};

class ClientTest : public ::testing::Test {
 protected:
  FakeClock clock;
  TimedSocket net{clock};
  RaveloClient client{ClientServices{net, clock}, kServer};

  void SetUp() override { ASSERT_EQ(client.Open(), 0); }
  void ArriveAt(std::int64_t when, Bytes bytes, const Ipv4Endpoint& from = kServer) {
    clock.At(when, [this, bytes, from] { net.Queue(bytes, from); });
  }
  void Accept() {
    ArriveAt(1, {0, 1});
    ASSERT_EQ(client.Connect("pw", 1000), ConnectResult::kAccepted);
    net.sent.clear();
    net.send_times.clear();
  }
};

TEST_F(ClientTest, OpensAnyFreePortAndReleasesEverything) {
  EXPECT_EQ(net.bound_port, 0);
  EXPECT_TRUE(net.open);
  client.Close();
  EXPECT_FALSE(net.open);
  EXPECT_EQ(net.LayerBalance(), 0);
}

TEST(ClientOpen, FailuresLeaveNothingBehind) {
  struct Case {
    const char* name;
    int startup_error;
    int bind_error;
    bool nonblocking_ok;
    int result;
  };
  const Case cases[] = {
      {"startup", 10091, 0, true, 10091},
      {"bind", 0, 98, true, 98},
      {"nonblocking", 0, 0, false, -1},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    FakeClock clock;
    FakeSocketLayer net;
    net.startup_error = c.startup_error;
    net.bind_error = c.bind_error;
    net.nonblocking_ok = c.nonblocking_ok;
    RaveloClient client(ClientServices{net, clock}, kServer);
    EXPECT_EQ(client.Open(40000), c.result);
    EXPECT_FALSE(net.open);
    EXPECT_EQ(net.LayerBalance(), 0);
    // Nothing goes out on a socket that is not there.
    EXPECT_EQ(client.Connect("pw", 10), ConnectResult::kNoAnswer);
    EXPECT_TRUE(net.sent.empty());
  }
}

TEST_F(ClientTest, ConnectRequestBytes) {
  struct Case {
    std::string password;
    Bytes bytes;
  };
  const Case cases[] = {
      {"secret", {0, 's', 'e', 'c', 'r', 'e', 't'}},
      {"", {0}},
      {"Pass word 12345", {0, 'P', 'a', 's', 's', ' ', 'w', 'o', 'r', 'd', ' ', '1', '2', '3', '4', '5'}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.password);
    net.sent.clear();
    client.Connect(c.password, 5);
    ASSERT_EQ(net.sent.size(), 1u);
    EXPECT_EQ(net.sent[0].bytes, c.bytes);
    EXPECT_EQ(net.sent[0].peer, kServer);
  }
}

TEST(ClientConnect, Outcomes) {
  struct Arrival {
    std::int64_t at;
    Bytes bytes;
    Ipv4Endpoint from;
  };
  struct Case {
    const char* name;
    std::vector<Arrival> arrivals;
    ConnectResult result;
    std::int64_t returns_at;
  };
  const Ipv4Endpoint other_port = Endpoint(127, 0, 0, 1, 8889);
  const Case cases[] = {
      {"accepted", {{3, {0, 1}, kServer}}, ConnectResult::kAccepted, 3},
      {"refused", {{3, {0, 0}, kServer}}, ConnectResult::kRefused, 3},
      {"silence", {}, ConnectResult::kNoAnswer, 3000},
      {"just in time", {{3000, {0, 1}, kServer}}, ConnectResult::kAccepted, 3000},
      {"too late", {{3001, {0, 1}, kServer}}, ConnectResult::kNoAnswer, 3000},
      {"from a stranger", {{3, {0, 1}, kStranger}}, ConnectResult::kNoAnswer, 3000},
      {"from another port", {{3, {0, 1}, other_port}}, ConnectResult::kNoAnswer, 3000},
      {"type byte alone", {{3, {0}, kServer}}, ConnectResult::kNoAnswer, 3000},
      {"after unrelated datagrams",
       {{1, {22, 3}, kServer}, {2, {23, 0, 9, 9}, kServer}, {3, {2}, kServer},
        {4, {0, 0}, kStranger}, {5, {0, 1}, kServer}},
       ConnectResult::kAccepted, 5},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    FakeClock clock;
    FakeSocketLayer net;
    RaveloClient client(ClientServices{net, clock}, kServer);
    ASSERT_EQ(client.Open(), 0);
    for (const Arrival& a : c.arrivals) {
      clock.At(a.at, [&net, a] { net.Queue(a.bytes, a.from); });
    }
    EXPECT_EQ(client.Connect("pw", 3000), c.result);
    EXPECT_EQ(clock.now, c.returns_at);
    EXPECT_EQ(client.IsConnected(), c.result == ConnectResult::kAccepted);
  }
}

TEST_F(ClientTest, AnswersEveryServerKeepAlive) {
  Accept();
  std::vector<std::int64_t> seen;
  client.OnServerKeepAlive([&](std::int64_t now) { seen.push_back(now); });
  ArriveAt(500, {2});
  ArriveAt(900, {2}, kStranger);  // not our server: neither seen nor answered
  ArriveAt(1500, {2});
  client.Hold(1600);
  EXPECT_EQ(seen, (std::vector<std::int64_t>{500, 1500}));
  EXPECT_EQ(client.ServerKeepAlives(), 2);
  EXPECT_EQ(net.TimesOf({2}), (std::vector<std::int64_t>{500, 1500}));
  for (const Datagram& d : net.sent) EXPECT_EQ(d.peer, kServer);
}

TEST_F(ClientTest, SendsItsOwnKeepAlivesWellInsideTheServersPatience) {
  const std::int64_t start = clock.now;
  Accept();
  ArriveAt(start + 4500, {2});  // an answer also counts as this side's keep-alive
  client.Hold(16000);
  const std::vector<std::int64_t> times = net.TimesOf({2});
  EXPECT_EQ(times, (std::vector<std::int64_t>{start + 2001, start + 4001, start + 4500,
                                              start + 6500, start + 8500, start + 10500,
                                              start + 12500, start + 14500}));
  EXPECT_EQ(client.KeepAlivesSent(), 8);
}

TEST_F(ClientTest, KeepAlivesKeepGoingWhileWaitingForMessages) {
  Accept();
  ArriveAt(5000, {22, 4});
  auto ready = [](const Bytes& d) { return d.size() == 2 && d[0] == 22; };
  std::optional<Bytes> got = client.WaitFor(ready, 6000);
  ASSERT_TRUE(got.has_value());
  EXPECT_EQ(*got, (Bytes{22, 4}));
  EXPECT_EQ(net.TimesOf({2}).size(), 2u);
}

TEST_F(ClientTest, WaitForDropsUnwantedAndReceiveTakesAny) {
  Accept();
  ArriveAt(10, {23, 0, 1, 2});
  ArriveAt(20, {2});
  ArriveAt(30, {22, 3});
  ArriveAt(40, {23, 1, 5});
  auto ready = [](const Bytes& d) { return d[0] == 22; };
  EXPECT_EQ(client.WaitFor(ready, 100), (Bytes{22, 3}));
  EXPECT_EQ(client.Receive(100), (Bytes{23, 1, 5}));
  EXPECT_EQ(client.Receive(100), std::nullopt);
}

TEST_F(ClientTest, NoKeepAlivesOutsideASession) {
  struct Case {
    const char* name;
    Bytes answer;  // empty: no answer at all
    bool goodbye;
  };
  const Case cases[] = {
      {"refused", {0, 0}, false},
      {"no answer", {}, false},
      {"after goodbye", {0, 1}, true},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    net.sent.clear();
    if (!c.answer.empty()) ArriveAt(clock.now + 1, c.answer);
    client.Connect("pw", 100);
    if (c.goodbye) client.Goodbye();
    ArriveAt(clock.now + 100, {2});
    client.Hold(10000);
    EXPECT_TRUE(net.TimesOf({2}).empty());
    EXPECT_FALSE(client.IsConnected());
  }
}

TEST_F(ClientTest, GoodbyeIsTheSingleByteOne) {
  Accept();
  client.Goodbye();
  ASSERT_EQ(net.sent.size(), 1u);
  EXPECT_EQ(net.sent[0].bytes, Bytes{1});
  EXPECT_EQ(net.sent[0].peer, kServer);
}

TEST_F(ClientTest, InputMessagesOnly) {
  struct Case {
    std::uint8_t type;
    Bytes payload;
    bool sent;
  };
  const Case cases[] = {
      {3, {10, 20}, true},  {6, {1, 2, 3, 4}, true}, {9, {}, true},     {17, {65}, true},
      {21, {65}, true},     {0, {'p'}, false},        {1, {}, false},    {2, {}, false},
      {22, {}, false},      {25, {0}, false},         {255, {}, false},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(int{c.type});
    net.sent.clear();
    EXPECT_EQ(client.SendInput(c.type, c.payload), c.sent);
    if (c.sent) {
      Bytes expected{c.type};
      expected.insert(expected.end(), c.payload.begin(), c.payload.end());
      ASSERT_EQ(net.sent.size(), 1u);
      EXPECT_EQ(net.sent[0].bytes, expected);
    } else {
      EXPECT_TRUE(net.sent.empty());
    }
  }
}

}  // namespace
}  // namespace ravelo
