#include <gtest/gtest.h>

#include <functional>

#include "fake_desktop_capture.h"
#include "fake_session_clock.h"
#include "fake_socket_layer.h"
#include "recording_input_sink.h"
#include "recording_log.h"
#include "server/stream_server.h"

namespace ravelo {
namespace {

using Bytes = std::vector<std::uint8_t>;
using Events = std::vector<std::string>;

const Ipv4Endpoint kClient = Endpoint(127, 0, 0, 1, 40000);
const Ipv4Endpoint kOther = Endpoint(127, 0, 0, 2, 40001);

TEST(NormalizeClientPointTest, MapsTheOverviewOntoTheAbsoluteScale) {
  struct Case {
    std::uint8_t x, y;
    std::int32_t nx, ny;
  };
  const Case cases[] = {
      {0, 0, 0, 0},          {1, 1, 0, 0},           {2, 2, 0, 0},
      {3, 3, 259, 348},      {130, 96, 33156, 32767}, {255, 190, 65535, 65535},
      {255, 191, 65535, 65535}, {255, 255, 65535, 65535}, {0, 255, 0, 65535},
      {255, 0, 65535, 0},    {128, 189, 32637, 65186},
  };
  for (const Case& c : cases) {
    NormalizedPoint p = NormalizeClientPoint(c.x, c.y);
    EXPECT_EQ(p.x, c.nx) << int(c.x) << "," << int(c.y);
    EXPECT_EQ(p.y, c.ny) << int(c.x) << "," << int(c.y);
  }
}

TEST(SplitKeyScanTest, SeparatesKeyFromShiftState) {
  EXPECT_FALSE(SplitKeyScan(0xFFFF).has_value());
  struct Case {
    std::uint16_t scan, key;
    std::uint8_t modifiers;
  };
  const Case cases[] = {{0x0041, 0x41, 0}, {0x0141, 0x41, 1}, {0x0651, 0x51, 6}, {0x00BA, 0xBA, 0}};
  for (const Case& c : cases) {
    std::optional<LayoutKey> k = SplitKeyScan(c.scan);
    ASSERT_TRUE(k.has_value()) << c.scan;
    EXPECT_EQ(k->key, c.key);
    EXPECT_EQ(k->modifiers, c.modifiers);
  }
}

// The real session, the real injector, a recording sink: datagrams in, platform events out.
class InputSessionTest : public ::testing::Test {
 public:
  FakeSocketLayer net;
  RecordingLog log;
  FakeDesktopCapture desktop;
  RecordingInputSink sink;
  SinkInputInjector input{sink, desktop};
  FakeSessionClock clock;
  StreamServer server{8888, ServerServices{net, log, clock, &input, &desktop}};

  void SetUp() override {
    ASSERT_TRUE(server.StartServer("pw"));
    Receive({0, 'p', 'w'});
  }
  Events Receive(const Bytes& b, const Ipv4Endpoint& from = kClient) {
    sink.events.clear();
    net.Queue(b, from);
    server.PollNetwork();
    return sink.events;
  }
};

// Which message calls which injector method, and which none, is stream_server_test's
// RoutesInputMessages; a key's down and up alone are halves of the key table's rows.
TEST_F(InputSessionTest, MovesButtonsAndAKeyInjectTheirEvents) {
  struct Case {
    Bytes datagram;
    Events events;
  };
  const Case cases[] = {
      {{3, 130, 96}, {"abs 33156 32767"}},
      {{6, 2, 2, 128, 96}, {"abs 8191 8191"}},  // 1024x768
      {{6, 255, 190, 10, 10}, {"abs 65535 65535"}},
      {{6, 130, 96, 0, 0}, {"abs 33156 32767"}},
      {{9}, {"button 2"}},
      {{10}, {"button 4"}},
      {{12}, {"button 8"}},
      {{13}, {"button 16"}},
      {{15}, {"button 32"}},
      {{16}, {"button 64"}},
      {{17, 'a'}, {"key 65 down", "key 65 up"}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(testing::PrintToString(c.datagram));
    EXPECT_EQ(Receive(c.datagram), c.events);
  }
}

TEST_F(InputSessionTest, RelativeMovesFollowTheAnchor) {
  struct Step {
    Bytes datagram;
    Events events;
    std::uint8_t ax, ay;  // the anchor afterwards
  };
  const Step steps[] = {
      {{4, 100, 50}, {}, 100, 50},                 // no anchor yet: only taken
      {{4, 103, 48}, {"rel 3 -2"}, 103, 48},
      {{4, 0, 255}, {"rel -103 207"}, 0, 255},
      {{5, 0, 0}, {}, 0, 0},                       // (0, 0) is no anchor
      {{4, 10, 10}, {}, 10, 10},
      {{5, 0, 5}, {}, 0, 5},                       // one coordinate set counts as set
      {{4, 2, 2}, {"rel 2 -3"}, 2, 2},
  };
  for (const Step& s : steps) {
    SCOPED_TRACE(testing::PrintToString(s.datagram));
    EXPECT_EQ(Receive(s.datagram), s.events);
    EXPECT_EQ(server.Anchor().x, s.ax);
    EXPECT_EQ(server.Anchor().y, s.ay);
  }
}

TEST_F(InputSessionTest, KeyTableRows) {
  // Every special code: its key, no event, or (151) the character path.
  const std::uint16_t keys[] = {0x08, 0x70, 0x71, 0x72, 0x73, 0x74, 0x75, 0x76, 0x77,
                                0x78, 0x79, 0x7A, 0x7B, 0,    0x24, 0x21, 0x22, 0x23,
                                0x09, 0x1B, 0,    0,    0,    0,    0,    0,    0,
                                0x26, 0x28, 0x25, 0x27, 0x2D, 0x2E, 0x0D};
  for (int code = 128; code <= 161; ++code) {
    SCOPED_TRACE(code);
    sink.scans.clear();
    Events events = Receive({17, static_cast<std::uint8_t>(code)});
    std::uint16_t key = keys[code - 128];
    if (code == 151) {
      EXPECT_EQ(sink.scans, (std::vector<std::uint8_t>{151, 151}));  // afresh for down and up
    } else if (key == 0) {
      EXPECT_TRUE(events.empty());
      EXPECT_TRUE(sink.scans.empty());
    } else {
      EXPECT_EQ(events, (Events{"key " + std::to_string(key) + " down",
                                "key " + std::to_string(key) + " up"}));
      EXPECT_TRUE(sink.scans.empty());
    }
  }
  // Outside the special range every code is a character.
  for (int code : {0, 65, 127, 162, 255}) {
    sink.scans.clear();
    Receive({18, static_cast<std::uint8_t>(code)});
    EXPECT_EQ(sink.scans, (std::vector<std::uint8_t>{static_cast<std::uint8_t>(code)})) << code;
  }
}

TEST_F(InputSessionTest, CharactersArriveWithTheirModifiers) {
  sink.layout['@'] = LayoutKey{0x51, modifier::kControl | modifier::kAlt};  // AltGr+Q
  sink.layout['\xE9'] = std::nullopt;                                         // not on the layout
  struct Case {
    Bytes datagram;
    Events events;
  };
  const Case cases[] = {
      {{17, 'A'}, {"key 16 down", "key 65 down", "key 16 up", "key 65 up"}},
      {{17, '!'}, {"key 16 down", "key 49 down", "key 16 up", "key 49 up"}},
      {{18, 'A'}, {"key 16 down", "key 65 down", "key 16 up"}},
      {{19, 'A'}, {"key 65 up"}},
      {{17, '@'},
       {"key 17 down", "key 18 down", "key 81 down", "key 18 up", "key 17 up", "key 81 up"}},
      {{17, 0xE9}, {}},
      {{18, 0xE9}, {}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(testing::PrintToString(c.datagram));
    EXPECT_EQ(Receive(c.datagram), c.events);
  }
}

TEST_F(InputSessionTest, AKeyUpLetsGoOfWhatItsKeyDownPressed) {
  // The layout changes while 'q' is held: the key that went down comes up, not the new one.
  EXPECT_EQ(Receive({18, 'q'}), Events{"key 81 down"});
  sink.layout['q'] = LayoutKey{0x41, 0};  // a French keyboard's 'q' sits where 'a' was
  EXPECT_EQ(Receive({19, 'q'}), Events{"key 81 up"});
  EXPECT_EQ(Receive({17, 'q'}), (Events{"key 65 down", "key 65 up"}));
}

TEST_F(InputSessionTest, RegionMoveNeedsADesktopSize) {
  desktop.size_ok = false;
  EXPECT_TRUE(Receive({6, 2, 2, 128, 96}).empty());
  desktop.size_ok = true;
  desktop.width = 0;
  EXPECT_TRUE(Receive({6, 2, 2, 128, 96}).empty());
  desktop.width = 1024;
  desktop.height = 0;
  EXPECT_TRUE(Receive({6, 2, 2, 128, 96}).empty());
  desktop.height = 768;
  EXPECT_EQ(Receive({6, 2, 2, 128, 96}), Events{"abs 8191 8191"});
}

TEST_F(InputSessionTest, WhatTheClientHeldIsReleasedWhenTheSessionEnds) {
  struct Way {
    const char* name;
    std::function<Events(InputSessionTest&)> end;
  };
  const Way ways[] = {
      {"goodbye", [](InputSessionTest& t) { return t.Receive({1}); }},
      {"takeover", [](InputSessionTest& t) { return t.Receive({0, 'p', 'w'}, kOther); }},
      {"reconnect", [](InputSessionTest& t) { return t.Receive({0, 'p', 'w'}); }},
      {"stop",
       [](InputSessionTest& t) {
         t.sink.events.clear();
         t.server.StopServer();
         return t.sink.events;
       }},
      {"time-out",
       [](InputSessionTest& t) {
         t.sink.events.clear();
         for (int i = 0; i < 3000 && t.server.IsConnected(); ++i) t.server.PollNetwork();
         return t.sink.events;
       }},
  };
  for (const Way& way : ways) {
    SCOPED_TRACE(way.name);
    if (!server.IsRunning()) {
      ASSERT_TRUE(server.StartServer("pw"));
    }
    Receive({0, 'p', 'w'});
    ASSERT_TRUE(server.IsConnected());
    Receive({9});        // left held: a drag
    Receive({12});       // right pressed and let go: not held
    Receive({13});
    Receive({18, 'A'});  // a key held, typed with Shift
    Receive({18, 147});  // Escape held, then let go
    Receive({19, 147});
    Receive({18, 129});  // F1 held
    EXPECT_EQ(way.end(*this), (Events{"button 4", "key 65 up", "key 112 up"}));
    // Released once: nothing is held any more.
    sink.events.clear();
    input.ReleaseHeld();
    EXPECT_TRUE(sink.events.empty());
  }
}

TEST_F(InputSessionTest, HeldInputStaysWhileTheSessionLasts) {
  Receive({15});
  Receive({18, 'z'});
  for (int i = 0; i < 600; ++i) server.PollNetwork();  // keep-alives go out; nothing else
  Receive({2});
  EXPECT_TRUE(Receive({3, 10, 10}) == Events{"abs 2072 2788"});
  // A stranger's goodbye or connect with a wrong password ends nothing.
  EXPECT_TRUE(Receive({1}, kOther).empty());
  EXPECT_TRUE(Receive({0, 'x'}, kOther).empty());
  EXPECT_EQ(Receive({1}), (Events{"button 64", "key 90 up"}));
}

}  // namespace
}  // namespace ravelo
