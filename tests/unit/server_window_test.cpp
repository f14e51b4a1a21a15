#include <gtest/gtest.h>

#include "app/shell.h"
#include "fake_session_clock.h"
#include "fake_socket_layer.h"
#include "fake_window.h"
#include "recording_log.h"

namespace ravelo {
namespace {

using Calls = std::vector<std::string>;

class ServerWindowTest : public ::testing::Test {
 protected:
  FakeSocketLayer net;
  RecordingLog log;
  FakeSessionClock clock;
  StreamServer server{8888, ServerServices{net, log, clock, nullptr}};
  FakeWindowControls controls;
  FakeTray tray;
  FakeSettings settings;
  ServerWindow window{server, controls, tray, settings, log};

  ServerWindowTest() {
    tray.calls = &controls.calls;
    settings.calls = &controls.calls;
    controls.on_destroy = [this] { window.OnDestroy(); };
  }
  void Press() { window.OnCommand(ids::kStartButton); }
};

TEST_F(ServerWindowTest, ButtonStartsThenStops) {
  controls.password = "pw";
  Press();
  EXPECT_TRUE(server.IsRunning());
  EXPECT_EQ(controls.calls, (Calls{"readonly", "button Stop Server", "wait 1000", "minimize"}));
  EXPECT_EQ(log.lines, Calls{"Server opened on port 8888."});

  controls.calls.clear();
  Press();
  EXPECT_FALSE(server.IsRunning());
  EXPECT_EQ(controls.calls, (Calls{"writable", "button Start Server"}));
  EXPECT_EQ(log.lines.back(), "Server closed.");
}

TEST_F(ServerWindowTest, FailedStartLeavesTheWindowAlone) {
  net.bind_error = 10048;
  Press();
  EXPECT_FALSE(server.IsRunning());
  EXPECT_TRUE(controls.calls.empty());
  EXPECT_FALSE(controls.read_only);
  EXPECT_EQ(log.lines,
            Calls{"bind() error: 10048. This probably means port 8888 is already in use."});
}

TEST_F(ServerWindowTest, EmptyPasswordBoxStartsWithTheEmptyPassword) {
  Press();
  net.Queue({0}, Endpoint(127, 0, 0, 1, 5000));
  server.PollNetwork();
  EXPECT_TRUE(server.IsConnected());
}

// A stored password served at once, and one that could not be used, the e2e tests show.
TEST_F(ServerWindowTest, StartAtLaunch) {
  struct Case {
    StoredPassword stored;
    bool run_on_startup;
    bool running;
    Calls log;
    bool checked_after;  // what a save would store
  };
  const Case cases[] = {
      {StoredPassword::kNone, true, true, {"Server opened on port 8888."}, true},  // the empty one
      {StoredPassword::kLoaded, false, false, {}, false},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(static_cast<int>(c.stored) * 2 + c.run_on_startup);
    server.StopServer();
    log.lines.clear();
    controls.run_on_startup = c.run_on_startup;
    window.StartAtLaunch(c.stored);
    EXPECT_EQ(server.IsRunning(), c.running);
    EXPECT_EQ(log.lines, c.log);
    EXPECT_EQ(controls.run_on_startup, c.checked_after);
  }
}

TEST_F(ServerWindowTest, MenuCommands) {
  struct Case {
    int id;
    Calls calls;
  };
  const Case cases[] = {
      {ids::kAbout, {"about"}},
      {9999, {}},
  };
  for (const Case& c : cases) {
    controls.calls.clear();
    window.OnCommand(c.id);
    EXPECT_EQ(controls.calls, c.calls) << c.id;
  }
}

TEST_F(ServerWindowTest, ShutdownPaths) {
  // Exit destroys without saving; the close box saves first. Both stop the server and
  // take the icon down; on close the destruction steps run again nested in WM_DESTROY.
  struct Case {
    const char* name;
    bool close_box;
    Calls calls;
    int closed_lines;
  };
  const Case cases[] = {
      {"exit", false, {"destroy", "restore from tray", "destroy", "quit 0"}, 1},
      {"close box",
       true,
       {"save settings", "restore from tray", "destroy", "restore from tray", "destroy", "quit 0",
        "quit 0"},
       2},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    FakeSocketLayer n;
    RecordingLog l;
    FakeSessionClock sc;
    StreamServer s(8888, ServerServices{n, l, sc, nullptr});
    FakeWindowControls wc;
    FakeTray t;
    FakeSettings st;
    t.calls = &wc.calls;
    st.calls = &wc.calls;
    ServerWindow w(s, wc, t, st, l);
    wc.on_destroy = [&w] { w.OnDestroy(); };
    ASSERT_TRUE(s.StartServer("pw"));
    l.lines.clear();
    if (c.close_box) {
      w.OnClose();
    } else {
      w.OnCommand(ids::kExit);
    }
    EXPECT_EQ(wc.calls, c.calls);
    EXPECT_EQ(l.lines, Calls(static_cast<std::size_t>(c.closed_lines), "Server closed."));
    EXPECT_FALSE(s.IsRunning());
    EXPECT_FALSE(n.open);  // the port is free again
    EXPECT_EQ(n.LayerBalance(), 0);
  }
}

TEST_F(ServerWindowTest, TrayNotifications) {
  const struct {
    unsigned mouse;
    bool restores;
  } cases[] = {{0x0203, true}, {0x0201, false}, {0x0202, false}, {0x0206, false}, {0x0200, false}};
  for (const auto& c : cases) {
    controls.calls.clear();
    window.OnTrayNotify(c.mouse);
    EXPECT_EQ(controls.calls, c.restores ? Calls{"restore from tray"} : Calls{}) << c.mouse;
  }
}

TEST(MainLoopTest, WaitsForWhatTheServerAsksAndServesWhatCame) {
  FakeSocketLayer net;
  RecordingLog log;
  FakeSessionClock clock;
  clock.tick = 0;
  StreamServer server(8888, ServerServices{net, log, clock, nullptr});
  FakeWindowControls controls;
  FakeTray tray;
  FakePump pump;
  tray.calls = &controls.calls;
  pump.calls = &controls.calls;
  ASSERT_TRUE(server.StartServer(""));
  net.Queue({0}, Endpoint(127, 0, 0, 1, 1));
  pump.queue.push_back({nullptr, false, 0, true});         // the connect arrives
  pump.queue.push_back({[&] { controls.minimized = true; }});  // a window message
  pump.queue.push_back({nullptr, true, 7});

  EXPECT_EQ(RunMainLoop(server, controls, tray, pump), 7);
  EXPECT_TRUE(server.IsConnected());
  // No client: the socket alone; then the socket or the keep-alive. The minimised window goes
  // to the tray before the next wait.
  EXPECT_EQ(controls.calls, (Calls{"wait socket", "wait socket 2500000", "hide to tray", "wait socket 2500000"}));
}

TEST(StatusLogTest, TrimsTheFirstHundredCharactersAboveTwoHundredLines) {
  FakeLogPane pane;
  PaneStatusLog log(pane);
  std::string expected;
  for (int i = 0; i < 200; ++i) {
    log.LogMessage("line %03d", i);  // 10 characters with the line break
    expected += "line " + std::string(i < 10 ? "00" : i < 100 ? "0" : "") + std::to_string(i) + "\r\n";
  }
  ASSERT_EQ(pane.text, expected);
  ASSERT_EQ(pane.LineCount(), 201);

  log.LogMessage("next");
  EXPECT_EQ(pane.text, expected.substr(100) + "next\r\n");
  // 100 characters are exactly ten lines here; the pane now counts 192 lines.
  EXPECT_EQ(pane.LineCount(), 192);

  // With odd lengths the cut falls inside a line, and trimming repeats while above 200.
  FakeLogPane odd;
  PaneStatusLog odd_log(odd);
  for (int i = 0; i < 200; ++i) odd_log.LogMessage("%s", "abcdefg");  // 9 characters
  odd_log.LogMessage("x");
  // 100 characters are eleven 9-character lines and the first letter of the twelfth.
  EXPECT_EQ(odd.text.substr(0, 8), "bcdefg\r\n");
  EXPECT_EQ(odd.LineCount(), 201 - 11 + 1);
}

TEST(StatusLogTest, LongMessagesAreCutAndKeepTheirLineBreak) {
  FakeLogPane pane;
  PaneStatusLog log(pane);
  const struct {
    std::size_t length;
    std::size_t kept;
  } cases[] = {{0, 0}, {10, 10}, {253, 253}, {254, 253}, {1000, 253}};
  for (const auto& c : cases) {
    pane.text.clear();
    log.LogMessage("%s", std::string(c.length, 'a').c_str());
    EXPECT_EQ(pane.text, std::string(c.kept, 'a') + "\r\n") << c.length;
  }
}

}  // namespace
}  // namespace ravelo
