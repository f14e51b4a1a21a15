#include "client/tool.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <fstream>
#include <iterator>
#include <sstream>

#include "client_fake_clock.h"
#include "client_picture_server.h"
#include "fake_socket_layer.h"

namespace ravelo {
namespace {

using Bytes = std::vector<std::uint8_t>;
using Args = std::vector<std::string>;

// Bytes framed by the JPEG start and end markers.
Bytes JpegOf(std::size_t size) {
  Bytes b(size, 0xD8);
  b[0] = 0xFF;
  b[size - 2] = 0xFF;
  b[size - 1] = 0xD9;
  return b;
}

TEST(ClientToolArguments, Accepted) {
  struct Case {
    Args args;
    std::string command;
    std::string password;
    Ipv4Endpoint server;
    std::uint16_t local_port;
    int timeout_ms;
    int hold_ms;
    bool stay;
  };
  const Ipv4Endpoint local = Endpoint(127, 0, 0, 1, 8888);
  const Case cases[] = {
      {{"connect", "pw"}, "connect", "pw", local, 0, 3000, 0, false},
      {{"connect", "", "--stay"}, "connect", "", local, 0, 3000, 0, true},
      {{"--server", "10.0.0.7", "--port", "9000", "connect", "x"}, "connect", "x",
       Endpoint(10, 0, 0, 7, 9000), 0, 3000, 0, false},
      {{"connect", "x", "--timeout", "0.25", "--local-port", "40000"}, "connect", "x", local,
       40000, 250, 0, false},
      {{"session", "pw", "20"}, "session", "pw", local, 0, 3000, 20000, false},
      {{"session", "pw", "1.5"}, "session", "pw", local, 0, 3000, 1500, false},
      {{"session", "pw", ".05"}, "session", "pw", local, 0, 3000, 50, false},
      {{"goodbye", "--local-port", "40000"}, "goodbye", "", local, 40000, 3000, 0, false},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.args.size() > 1 ? c.args[0] + " " + c.args[1] : c.args[0]);
    ToolOptions o;
    EXPECT_EQ(ParseToolArguments(c.args, &o), "");
    EXPECT_EQ(o.command, c.command);
    EXPECT_EQ(o.password, c.password);
    EXPECT_EQ(o.server, c.server);
    EXPECT_EQ(o.local_port, c.local_port);
    EXPECT_EQ(o.timeout_ms, c.timeout_ms);
    EXPECT_EQ(o.hold_ms, c.hold_ms);
    EXPECT_EQ(o.stay, c.stay);
  }
}

TEST(ClientToolArguments, SendBytes) {
  ToolOptions o;
  EXPECT_EQ(ParseToolArguments({"send", "0", "112", "255", "--wait", "1"}, &o), "");
  EXPECT_EQ(o.datagram, (Bytes{0, 112, 255}));
  EXPECT_EQ(o.wait_ms, 1000);
}

TEST(ClientToolArguments, Rejected) {
  const Args cases[] = {
      {},
      {"connect"},
      {"connect", "a", "b"},
      {"connect", "sixteen-chars-xx"},
      {"session", "pw"},
      {"session", "pw", "-1"},
      {"session", "pw", "1."},
      {"session", "pw", "1.2345"},
      {"session", "pw", "ten"},
      {"goodbye", "now"},
      {"send"},
      {"send", "256"},
      {"send", "2", "0x10"},
      {"view", "full"},
      {"view", "region", "1", "2"},
      {"view", "region", "1", "256", "out.jpg"},
      {"view", "part", "out.jpg"},
      {"view", "full", "out.jpg", "--password", "sixteen-chars-xx"},
      {"fetch", "full", "out.jpg"},
      {"connect", "pw", "--port"},
      {"connect", "pw", "--port", "0"},
      {"connect", "pw", "--port", "65536"},
      {"connect", "pw", "--local-port", "65536"},
      {"connect", "pw", "--server", "localhost"},
      {"connect", "pw", "--server", "1.2.3"},
      {"connect", "pw", "--server", "1.2.3.256"},
      {"connect", "pw", "--server", "1.2.3.4.5"},
      {"connect", "pw", "--server", "1..2.3"},
      {"connect", "pw", "--timeout", "soon"},
      {"connect", "pw", "--verbose"},
      // the input commands
      {"move", "1"},          {"move", "1", "256"},          {"move", "1", "2", "3"},
      {"move-region", "1", "2", "3"}, {"click"},             {"click", "top"},
      {"click", "left", "down"}, {"button", "left"},         {"button", "left", "press"},
      {"key"},                {"key", "256"},                {"key", "shift"},
      {"key", "enter", "twice"}, {"type"},                   {"type", ""},
      {"type", "a", "b"},     {"type", "\xC2\xA1"},          {"type", "\xE2\x82\xAC"},
      {"type", "\xA0"},       {"move", "-1", "2"},
  };
  for (const Args& args : cases) {
    std::string joined;
    for (const std::string& a : args) joined += a + " ";
    SCOPED_TRACE(joined);
    ToolOptions o;
    EXPECT_NE(ParseToolArguments(args, &o), "");
  }
}

class ClientToolTest : public ::testing::Test {
 protected:
  FakeClock clock;
  FakeSocketLayer net;
  std::ostringstream out;
  std::ostringstream err;
  const Ipv4Endpoint server = Endpoint(127, 0, 0, 1, 8888);

  int Run(const Args& args) { return ToolMain(args, ClientServices{net, clock}, out, err); }
  void ArriveAt(std::int64_t when, Bytes bytes) {
    clock.At(when, [this, bytes] { net.Queue(bytes, server); });
  }
  std::vector<Bytes> Sent() const {
    std::vector<Bytes> s;
    for (const Datagram& d : net.sent) s.push_back(d.bytes);
    return s;
  }
};

TEST_F(ClientToolTest, ConnectOutcomes) {
  struct Case {
    const char* name;
    Args args;
    Bytes answer;  // empty: none
    int exit;
    std::string out;
    std::vector<Bytes> sent;
  };
  const Bytes request{0, 'p', 'w'};
  const Case cases[] = {
      {"accepted", {"connect", "pw"}, {0, 1}, 0, "accepted\n", {request, {1}}},
      {"stay", {"connect", "pw", "--stay"}, {0, 1}, 0, "accepted\n", {request}},
      {"refused", {"connect", "pw"}, {0, 0}, 1, "refused\n", {request}},
      {"no answer", {"connect", "pw", "--port", "9000"}, {}, 3,
       "no answer from 127.0.0.1:9000\n", {request}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    clock = FakeClock();
    net = FakeSocketLayer();
    out.str("");
    if (!c.answer.empty()) ArriveAt(1, c.answer);
    EXPECT_EQ(Run(c.args), c.exit);
    EXPECT_EQ(out.str(), c.out);
    EXPECT_EQ(Sent(), c.sent);
    EXPECT_EQ(net.LayerBalance(), 0);
    EXPECT_FALSE(net.open);
  }
}

TEST_F(ClientToolTest, SessionPrintsEachServerKeepAliveWithItsTime) {
  ArriveAt(1, {0, 1});
  ArriveAt(2501, {2});
  ArriveAt(5006, {2});
  EXPECT_EQ(Run({"session", "pw", "6"}), 0);
  EXPECT_EQ(out.str(), "accepted\n2.500 keep-alive\n5.005 keep-alive\ngoodbye\n");
  std::vector<Bytes> sent = Sent();
  ASSERT_FALSE(sent.empty());
  EXPECT_EQ(sent.back(), Bytes{1});
  EXPECT_EQ(clock.now, 6001);
}

TEST_F(ClientToolTest, SessionRefusedHoldsNothing) {
  ArriveAt(1, {0, 0});
  EXPECT_EQ(Run({"session", "pw", "60"}), 1);
  EXPECT_EQ(out.str(), "refused\n");
  EXPECT_LT(clock.now, 100);
}

TEST_F(ClientToolTest, SendPrintsWhatComesBack) {
  ArriveAt(5, {0, 0});
  ArriveAt(10, {2});
  EXPECT_EQ(Run({"send", "0", "120", "--wait", "0.5"}), 0);
  EXPECT_EQ(Sent(), (std::vector<Bytes>{{0, 120}}));
  EXPECT_EQ(out.str(), "0 0\n2\n");
  EXPECT_EQ(clock.now, 500);
}

TEST_F(ClientToolTest, GoodbyeFromTheGivenPort) {
  EXPECT_EQ(Run({"goodbye", "--local-port", "40000"}), 0);
  EXPECT_EQ(Sent(), (std::vector<Bytes>{{1}}));
}

TEST_F(ClientToolTest, Failures) {
  net.bind_error = 98;
  EXPECT_EQ(Run({"connect", "pw", "--local-port", "40000"}), kExitSocket);
  EXPECT_NE(err.str().find("local port 40000"), std::string::npos);
  err.str("");
  EXPECT_EQ(Run({"connect"}), kExitUsage);
  EXPECT_EQ(err.str().rfind("ravelo-client: connect takes PASSWORD\nusage:", 0), 0u);
  EXPECT_TRUE(net.sent.empty());
}

TEST(ClientToolView, Outcomes) {
  struct Case {
    const char* name;
    Args args;
    std::size_t size;
    bool announce;
    bool lose_chunk;
    int exit;
    std::string out;
    Bytes first_sent;
    bool goodbye;
  };
  const std::string file = "client_tool_test_view.jpg";
  const Case cases[] = {
      {"full", {"view", "full", file, "--password", "pw"}, 2500, true, false, kExitOk,
       "accepted\n" + file + ": 2500 bytes in 3 chunks\n", {0, 'p', 'w'}, true},
      {"region in a session", {"view", "region", "10", "20", file, "--local-port", "40000"},
       999, true, false, kExitOk, file + ": 999 bytes in 1 chunks\n", {24, 10, 20}, false},
      {"not announced", {"view", "full", file}, 2500, false, false, kExitNoAnswer,
       "no picture from 127.0.0.1:8888\n", {22}, false},
      {"incomplete", {"view", "full", file}, 2500, true, true, kExitIncomplete,
       "picture incomplete: 1 of 3 chunks missing\n", {22}, false},
      {"unwritable", {"view", "full", "no-such-dir/x.jpg"}, 2500, true, false, kExitFile, "",
       {22}, false},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    std::remove(file.c_str());
    FakeClock clock;
    FakePictureServer net;
    net.server = Endpoint(127, 0, 0, 1, 8888);
    net.picture = JpegOf(c.size);
    net.announce = c.announce;
    if (c.lose_chunk) net.losses = {{1, 1000}};
    std::ostringstream out, err;
    EXPECT_EQ(ToolMain(c.args, ClientServices{net, clock}, out, err), c.exit);
    EXPECT_EQ(out.str(), c.out);
    ASSERT_FALSE(net.sent.empty());
    EXPECT_EQ(net.sent.front().bytes, c.first_sent);
    EXPECT_EQ(net.sent.back().bytes == Bytes{1}, c.goodbye);
    std::ifstream written(file, std::ios::binary);
    if (c.exit == kExitOk) {
      Bytes bytes((std::istreambuf_iterator<char>(written)), std::istreambuf_iterator<char>());
      EXPECT_EQ(bytes, net.picture);
    } else {
      EXPECT_FALSE(written.is_open());
    }
  }
  std::remove(file.c_str());
}

// Every wait of the tool ends by its deadline whatever keeps arriving, the session's own
// keep-alives go out on time meanwhile, and a picture is written only when it came whole.
TEST(ClientToolWaits, EndByTheirDeadlines) {
  using Stream = FakePictureServer::Stream;
  const Ipv4Endpoint server = Endpoint(127, 0, 0, 1, 8888);
  const Ipv4Endpoint stranger = Endpoint(127, 0, 0, 2, 8888);
  const std::string file = "client_tool_test_waits.jpg";
  const Args view{"view", "full", file, "--password", "pw"};
  Bytes duplicate{23, 0};
  duplicate.resize(1002, 0xD8);
  const Bytes beyond{23, 7, 1, 2, 3};
  Bytes not_jpeg = JpegOf(2500);
  not_jpeg.back() = 0;

  struct Case {
    const char* name;
    Args args;
    std::vector<Stream> streams;
    std::size_t size = 2500;
    bool accept = true;
    bool announce = true;
    std::map<int, int> losses = {};
    std::map<int, int> cuts = {};
    std::vector<Datagram> before_ready = {};
    Bytes picture = {};  // instead of a whole one of `size` bytes
    int exit = kExitOk;
    std::string out;
    std::int64_t returns_by;  // the deadline, and the 1 ms of reading a streamed datagram
    int view_requests = 1;
  };
  const Case cases[] = {
      {"strangers' stream, no answer", {"connect", "pw"}, {{{0, 1}, stranger}}, 0, false, true,
       {}, {}, {}, {}, kExitNoAnswer, "no answer from 127.0.0.1:8888\n", 3001, 0},
      {"strangers' stream, answer amid it", {"connect", "pw"}, {{{0, 0}, stranger}}, 0, true,
       true, {}, {}, {}, {}, kExitOk, "accepted\n", 5, 0},
      {"strangers' stream through a session", {"session", "pw", "10"}, {{{2}, stranger}}, 0,
       true, true, {}, {}, {}, {}, kExitOk, "accepted\ngoodbye\n", 10002, 0},
      {"strangers' stream while waiting for replies", {"send", "3", "1", "1", "--wait", "1"},
       {{{22, 1}, stranger}}, 0, true, true, {}, {}, {}, {}, kExitOk, "", 1001, 0},
      {"keep-alive stream, nothing announced", view, {{{2}, server}}, 2500, true, false, {}, {},
       {}, {}, kExitNoAnswer, "accepted\nno picture from 127.0.0.1:8888\n", 5102},
      {"junk trickle, a chunk lost for good", view, {{duplicate, server, 400}}, 2500, true,
       true, {{2, 1000}}, {}, {}, {}, kExitIncomplete,
       "accepted\npicture incomplete: 1 of 3 chunks missing\n", 2502},
      {"trickle of an index past the end", view, {{beyond, server, 400}}, 2500, true, true,
       {{1, 1000}}, {}, {}, {}, kExitIncomplete,
       "accepted\npicture incomplete: 1 of 3 chunks missing\n", 2502},
      {"stale ready of a smaller count", view, {}, 2500, true, true, {}, {}, {{{22, 2}, server}},
       {}, kExitOk, "accepted\n" + file + ": 2500 bytes in 3 chunks\n", 10},
      {"stale ready of a larger count", view, {}, 2500, true, true, {}, {}, {{{22, 5}, server}},
       {}, kExitOk, "accepted\n" + file + ": 2500 bytes in 3 chunks\n", 10},
      {"zero count", view, {}, 0, true, true, {}, {}, {}, {}, kExitIncomplete,
       "accepted\npicture incomplete: the server announced 0 chunks\n", 10, 2},
      {"short middle chunk", view, {}, 2500, true, true, {}, {{1, 500}}, {}, {},
       kExitIncomplete, "accepted\npicture incomplete: chunk 1 of 3 has 500 bytes, not 1000\n",
       10, 2},
      {"no end marker", view, {}, 2500, true, true, {}, {}, {}, not_jpeg, kExitIncomplete,
       "accepted\npicture incomplete: the 3 chunks are not a whole JPEG file\n", 10, 2},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    std::remove(file.c_str());
    FakeClock clock;
    FakePictureServer net;
    net.clock = &clock;
    net.server = server;
    net.streams = c.streams;
    net.accept = c.accept;
    net.announce = c.announce;
    net.losses = c.losses;
    net.cuts = c.cuts;
    net.before_ready = c.before_ready;
    net.picture = c.picture.empty() && c.size > 0 ? JpegOf(c.size) : c.picture;
    std::ostringstream out, err;
    EXPECT_EQ(ToolMain(c.args, ClientServices{net, clock}, out, err), c.exit);
    EXPECT_EQ(out.str(), c.out);
    EXPECT_LE(clock.now, c.returns_by);

    int view_requests = 0;
    std::int64_t last_keep_alive = net.send_times.front();  // the connect request
    for (std::size_t i = 0; i < net.sent.size(); ++i) {
      if (net.sent[i].bytes == Bytes{22}) ++view_requests;
      if (net.sent[i].bytes != Bytes{2}) continue;
      EXPECT_LE(net.send_times[i] - last_keep_alive, RaveloClient::kKeepAliveIntervalMs + 2);
      last_keep_alive = net.send_times[i];
    }
    if (c.args[0] == "session") {
      EXPECT_LE(clock.now - last_keep_alive, RaveloClient::kKeepAliveIntervalMs + 2);
    }
    EXPECT_EQ(view_requests, c.view_requests);

    std::ifstream written(file, std::ios::binary);
    if (c.exit == kExitOk && c.args[0] == "view") {
      Bytes bytes((std::istreambuf_iterator<char>(written)), std::istreambuf_iterator<char>());
      EXPECT_EQ(bytes, net.picture);
    } else {
      EXPECT_FALSE(written.is_open());
    }
  }
  std::remove(file.c_str());
}

}  // namespace
}  // namespace ravelo
