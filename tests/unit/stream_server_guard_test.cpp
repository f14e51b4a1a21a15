// The session under attack: password guessing is slowed down per address, and datagrams
// that would be ignored anyway are read past so that they cannot crowd the client out.
#include "server/stream_server.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <functional>
#include <map>

#include "fake_input_injector.h"
#include "fake_session_clock.h"
#include "fake_socket_layer.h"
#include "recording_log.h"

namespace ravelo {
namespace {

using Bytes = std::vector<std::uint8_t>;
using Lines = std::vector<std::string>;

const Ipv4Endpoint kClient = Endpoint(127, 0, 0, 1, 40000);
const Ipv4Endpoint kGuesser = Endpoint(10, 0, 0, 7, 5000);
const Ipv4Endpoint kGuesserOtherPort = Endpoint(10, 0, 0, 7, 5001);
const Ipv4Endpoint kBystander = Endpoint(10, 0, 0, 8, 5000);
const char kSlowed[] = "Too many wrong passwords from 10.0.0.7; slowing it down.";
const char kRejected[] = "Connection rejected from 10.0.0.7.";

Bytes ConnectWith(const std::string& password) {
  Bytes b{0};
  for (char c : password) b.push_back(static_cast<std::uint8_t>(c));
  return b;
}

class GuardTest : public ::testing::Test {
 public:  // the cases of a table reach in
  FakeSocketLayer net;
  RecordingLog log;
  FakeInputInjector input;
  FakeSessionClock clock;
  StreamServer server{8888, ServerServices{net, log, clock, &input}};

  void SetUp() override {
    ASSERT_TRUE(server.StartServer("right"));
    log.lines.clear();
  }
  // One datagram, one pass; what went out in that pass.
  std::vector<Datagram> Receive(const Bytes& b, const Ipv4Endpoint& from) {
    std::size_t before = net.sent.size();
    net.Queue(b, from);
    server.PollNetwork();
    return {net.sent.begin() + static_cast<std::ptrdiff_t>(before), net.sent.end()};
  }
  void Passes(int n) {
    for (int i = 0; i < n; ++i) server.PollNetwork();
  }
  void WrongPasswords(int n, const Ipv4Endpoint& from) {
    for (int i = 0; i < n; ++i) Receive(ConnectWith("guess" + std::to_string(i)), from);
  }
  static bool Refused(const std::vector<Datagram>& out, const Ipv4Endpoint& to) {
    return out.size() == 1 && out[0].bytes == Bytes{0, 0} && out[0].peer == to;
  }
};

TEST_F(GuardTest, TenthWrongPasswordSlowsTheAddressDown) {
  WrongPasswords(9, kGuesser);
  EXPECT_EQ(log.lines, Lines(9, kRejected));
  EXPECT_EQ(net.sent.size(), 9u);
  log.lines.clear();

  // The tenth is still checked and answered, and the limit is logged once.
  EXPECT_TRUE(Refused(Receive(ConnectWith("tenth"), kGuesser), kGuesser));
  EXPECT_EQ(log.lines, (Lines{kRejected, kSlowed}));
  log.lines.clear();

  // For 999 passes every connect from that address, any port, right password or not, is
  // dropped without a trace.
  for (int pass = 1; pass <= 999; ++pass) {
    const Ipv4Endpoint& from = pass % 2 ? kGuesser : kGuesserOtherPort;
    ASSERT_TRUE(Receive(ConnectWith(pass % 3 ? "guess" : "right"), from).empty()) << pass;
  }
  EXPECT_TRUE(log.lines.empty());
  EXPECT_FALSE(server.IsConnected());

  // Then one check; a wrong password there starts the next wait, without a second limit line.
  EXPECT_TRUE(Refused(Receive(ConnectWith("again"), kGuesserOtherPort), kGuesserOtherPort));
  EXPECT_EQ(log.lines, Lines{kRejected});
  Passes(998);
  EXPECT_TRUE(Receive(ConnectWith("right"), kGuesser).empty());
  // A right password at the next check gets in and clears the count.
  ASSERT_EQ(Receive(ConnectWith("right"), kGuesser).size(), 1u);
  EXPECT_TRUE(server.IsConnected());
  EXPECT_EQ(log.lines.back(), "Connection accepted from 10.0.0.7.");
  log.lines.clear();
  WrongPasswords(9, kGuesser);
  EXPECT_EQ(log.lines, Lines(9, kRejected));
  EXPECT_TRUE(Refused(Receive(ConnectWith("x"), kGuesser), kGuesser));
  EXPECT_EQ(log.lines.back(), kSlowed);
}

TEST_F(GuardTest, WhatClearsTheCount) {
  struct Case {
    const char* name;
    std::function<void(GuardTest&)> between;  // after nine wrong passwords
    int wrong_after;                          // wrong passwords then answered
  };
  const Case cases[] = {
      {"nothing: the tenth reaches the limit", [](GuardTest&) {}, 1},
      {"time alone does not", [](GuardTest& t) { t.Passes(5000); }, 1},
      {"a right password", [](GuardTest& t) { t.Receive(ConnectWith("right"), kGuesser); }, 10},
      {"a right password from another port",
       [](GuardTest& t) { t.Receive(ConnectWith("right"), kGuesserOtherPort); }, 10},
      {"ten quiet minutes",
       [](GuardTest& t) { t.Passes(static_cast<int>(StreamServer::kForgetAfterMicros / wire::kPassMicros)); }, 10},
      {"a restart", [](GuardTest& t) {
         t.server.StopServer();
         ASSERT_TRUE(t.server.StartServer("right"));
       }, 10},
      {"another address's right password does not",
       [](GuardTest& t) { t.Receive(ConnectWith("right"), kBystander); }, 1},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    server.StopServer();
    ASSERT_TRUE(server.StartServer("right"));
    WrongPasswords(9, kGuesser);
    c.between(*this);
    log.lines.clear();
    int answered = 0;
    while (answered < 20 && Refused(Receive(ConnectWith("no"), kGuesser), kGuesser)) ++answered;
    EXPECT_EQ(answered, c.wrong_after);
    EXPECT_EQ(std::count(log.lines.begin(), log.lines.end(), kSlowed), 1);
  }
}

TEST_F(GuardTest, OthersAreUnaffected) {
  ASSERT_EQ(Receive(ConnectWith("right"), kClient).size(), 1u);
  WrongPasswords(10, kGuesser);
  // The bystander's guesses are counted apart, and the client's session goes on.
  EXPECT_TRUE(Refused(Receive(ConnectWith("no"), kBystander), kBystander));
  Receive({3, 10, 20}, kClient);
  EXPECT_EQ(input.events, Lines{"abs 10 20"});
  // A right password from another address takes over as always.
  ASSERT_EQ(Receive(ConnectWith("right"), kBystander).size(), 1u);
  EXPECT_EQ(server.ClientAddress(), kBystander);
}

TEST_F(GuardTest, ClientKeepsItsSessionWhileItsOwnAddressIsSlowedDown) {
  ASSERT_EQ(Receive(ConnectWith("right"), kGuesser).size(), 1u);
  WrongPasswords(10, kGuesserOtherPort);
  // Only connects are held back; the client's commands and keep-alives still act.
  Passes(2900);
  Receive({2}, kGuesser);
  Passes(2900);
  EXPECT_TRUE(server.IsConnected());
  Receive({9}, kGuesser);
  EXPECT_EQ(input.events, Lines{"left down"});
}

Ipv4Endpoint Spoofed(int i) {
  return Endpoint(192, 168, static_cast<std::uint8_t>(i >> 8), static_cast<std::uint8_t>(i), 1);
}

TEST_F(GuardTest, NoAddressNorSetOfAddressesGuessesFasterThanTheLimit) {
  constexpr int kTable = static_cast<int>(StreamServer::kGuessTableSize);
  struct Case {
    const char* name;
    int passes;
    std::function<Ipv4Endpoint(int pass)> source;  // one wrong password a pass
  };
  const Case cases[] = {
      {"one more address than the table holds, taking turns", 200 * (kTable + 1),
       [](int pass) { return Spoofed(pass % (kTable + 1)); }},
      // Once pushed out of the table, the guesser's count would start again.
      {"nine from a guesser, then as many new sources as the table holds, over and over", 10 * (9 + kTable),
       [](int pass) {
         const int k = pass % (9 + kTable);
         return k < 9 ? kGuesser : Spoofed(pass / (9 + kTable) * kTable + k - 9 + 1000);
       }},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    server.StopServer();
    ASSERT_TRUE(server.StartServer("right"));
    std::map<std::array<std::uint8_t, 4>, int> checks;
    for (int pass = 0; pass < c.passes; ++pass) {
      const Ipv4Endpoint from = c.source(pass);
      if (!Receive(ConnectWith("guess"), from).empty()) ++checks[from.address];
    }
    // Ten checks, then one per 1000 passes; the addresses a full table cannot hold share one.
    constexpr int kCheckEveryPasses = static_cast<int>(StreamServer::kCheckEveryMicros / wire::kPassMicros);
    const int allowance = StreamServer::kWrongPasswordLimit + c.passes / kCheckEveryPasses + 1;
    int total = 0;
    for (const auto& [address, n] : checks) {
      EXPECT_LE(n, allowance);
      total += n;
    }
    EXPECT_LE(total, kTable * allowance + c.passes / kCheckEveryPasses + 1);
  }
}

// --- reading past ignored datagrams ---

struct Junk {
  const char* name;
  std::vector<Datagram> datagrams;
};

std::vector<Junk> JunkKinds() {
  std::vector<Datagram> commands;
  for (int type = 1; type <= 60; ++type) {
    commands.push_back({{static_cast<std::uint8_t>(type), 1, 2, 3, 4}, kBystander});
  }
  auto sixty = [](const Bytes& b, const Ipv4Endpoint& from) { return std::vector<Datagram>(60, Datagram{b, from}); };
  return {
      {"strangers' commands", commands},
      {"the client's port on another address", sixty({3, 1, 1}, Endpoint(127, 0, 0, 2, 40000))},
      {"over-long datagrams", sixty(Bytes(1024, 3), kClient)},
      {"empty datagrams", sixty({}, kClient)},
      {"connects of an address slowed down", sixty(ConnectWith("right"), kGuesser)},
  };
}

TEST_F(GuardTest, IgnoredDatagramsAreReadPastWithinThePass) {
  ASSERT_EQ(Receive(ConnectWith("right"), kClient).size(), 1u);
  WrongPasswords(10, kGuesser);
  for (const Junk& junk : JunkKinds()) {
    SCOPED_TRACE(junk.name);
    input.events.clear();
    log.lines.clear();
    net.sent.clear();
    for (const Datagram& d : junk.datagrams) net.incoming.push_back(d);
    net.Queue({3, 50, 60}, kClient);
    server.PollNetwork();  // 60 ignored and the client's move: 61 reads, within the 64
    EXPECT_TRUE(net.incoming.empty());
    EXPECT_EQ(input.events, Lines{"abs 50 60"});
    EXPECT_TRUE(net.sent.empty());
    EXPECT_TRUE(log.lines.empty());
  }
}

TEST_F(GuardTest, APassReadsBoundedAndActsOnAtMostOne) {
  ASSERT_EQ(Receive(ConnectWith("right"), kClient).size(), 1u);
  constexpr int kReads = StreamServer::kMaxReadsPerPass;
  struct Case {
    int junk_before;
    int client_messages;
    std::vector<std::size_t> left_after_each_pass;
    std::vector<std::size_t> events_after_each_pass;
  };
  const Case cases[] = {
      {0, 3, {2, 1, 0}, {1, 2, 3}},                      // one acting datagram per pass
      {kReads - 1, 1, {0}, {1}},                         // all but one read past, the last acts
      {kReads, 1, {1, 0}, {0, 1}},                       // the first pass reads only junk
      {kReads + 36, 2, {38, 1, 0}, {0, 1, 2}},           // junk; 36 junk and the first; the second
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.junk_before);
    input.events.clear();
    for (int i = 0; i < c.junk_before; ++i) net.Queue({4, 1, 1}, kBystander);
    for (int i = 0; i < c.client_messages; ++i) net.Queue({9}, kClient);
    for (std::size_t pass = 0; pass < c.left_after_each_pass.size(); ++pass) {
      server.PollNetwork();
      EXPECT_EQ(net.incoming.size(), c.left_after_each_pass[pass]) << "pass " << pass;
      EXPECT_EQ(input.events.size(), c.events_after_each_pass[pass]) << "pass " << pass;
    }
  }
}

TEST_F(GuardTest, TheClientKeepsItsTurnUnderAConnectFlood) {
  struct Case {
    const char* name;
    bool connected;
    std::vector<Datagram> pass;  // what arrives before one poll
    Lines log;                   // what it logs
    std::size_t left;            // datagrams still queued after it
    Lines events;
  };
  const Datagram kMove{{3, 7, 8}, kClient};
  const Datagram kStranger{ConnectWith("no"), kBystander};
  const Datagram kOther{ConnectWith("no"), kGuesser};
  const Case cases[] = {
      {"others' connects wait while the client's datagram acts", true, {kStranger, kOther, kMove}, {}, 0,
       {"abs 7 8"}},
      {"with nothing from the client, the first of them is checked at the pass's end", true,
       {kStranger, kOther}, {"Connection rejected from 10.0.0.8."}, 0, {}},
      {"the client's own connect acts at once", true, {{ConnectWith("right"), kClient}, kMove},
       {"Connection accepted from 127.0.0.1."}, 1, {}},
      {"with no client, a connect acts at once and ends the pass", false, {kStranger, kOther},
       {"Connection rejected from 10.0.0.8."}, 1, {}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    server.StopServer();
    ASSERT_TRUE(server.StartServer("right"));
    if (c.connected) {
      ASSERT_EQ(Receive(ConnectWith("right"), kClient).size(), 1u);
    }
    log.lines.clear();
    input.events.clear();
    for (const Datagram& d : c.pass) net.incoming.push_back(d);
    server.PollNetwork();
    EXPECT_EQ(log.lines, c.log);
    EXPECT_EQ(net.incoming.size(), c.left);
    EXPECT_EQ(input.events, c.events);
    net.incoming.clear();
  }

  // Wrong-password connects from ever new sources, 20 a pass ahead of everything the client
  // sends: its keep-alives keep it past the time-out, and each of its moves acts in the
  // pass it arrives.
  ASSERT_EQ(Receive(ConnectWith("right"), kClient).size(), 1u);
  input.events.clear();
  for (int pass = 1; pass <= 4000; ++pass) {
    for (int i = 0; i < 20; ++i) net.Queue(ConnectWith("no"), Spoofed(pass * 20 + i));
    if (pass % 2000 == 0) net.Queue({3, 1, 2}, kClient);
    if (pass % 1000 == 0) net.Queue({2}, kClient);
    server.PollNetwork();
    ASSERT_EQ(input.events.size(), static_cast<std::size_t>(pass / 2000)) << pass;
    net.incoming.clear();
  }
  EXPECT_TRUE(server.IsConnected());
}

TEST_F(GuardTest, FloodLeavesTheSessionClockAloneUnlessThePassesFallBehind) {
  // Counting the accepting pass as 1, keep-alives go out in passes 501, 1002, ... and the
  // silent client is dropped in pass 3001 under junk a pass can read. Passes that read to
  // their bound are behind a queue that drops unread datagrams: their time is not silence.
  struct Case {
    const char* name;
    int junk;          // datagrams a pass, in passes 2 to 2000
    int dropped_in;
  };
  const Case cases[] = {
      {"junk the passes keep up with", 60, 3001},
      {"more junk than a pass reads", StreamServer::kMaxReadsPerPass + 1, 3001 + 1999},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    server.StopServer();
    ASSERT_TRUE(server.StartServer("right"));
    ASSERT_EQ(Receive(ConnectWith("right"), kClient).size(), 1u);
    std::vector<int> keep_alives;
    int dropped_in = 0;
    for (int pass = 2; dropped_in == 0 && pass <= 6000; ++pass) {
      for (int i = 0; pass <= 2000 && i < c.junk; ++i) net.Queue({static_cast<std::uint8_t>(1 + i % 25), 9}, kBystander);
      std::size_t before = net.sent.size();
      server.PollNetwork();
      net.incoming.clear();
      for (std::size_t i = before; i < net.sent.size(); ++i) {
        if (net.sent[i].bytes == Bytes{2} && net.sent[i].peer == kClient && pass < 2600) keep_alives.push_back(pass);
      }
      if (!server.IsConnected()) dropped_in = pass;
    }
    EXPECT_EQ(keep_alives, (std::vector<int>{501, 1002, 1503, 2004, 2505}));
    EXPECT_EQ(dropped_in, c.dropped_in);
  }
}

}  // namespace
}  // namespace ravelo
