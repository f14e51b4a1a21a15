// The input commands of ravelo-client: the messages each one sends (its usage errors are rows
// of client_tool_test's table).
#include <gtest/gtest.h>

#include <sstream>

#include "client/tool.h"
#include "client_fake_clock.h"
#include "fake_socket_layer.h"

namespace ravelo {
namespace {

using Bytes = std::vector<std::uint8_t>;
using Args = std::vector<std::string>;

// The moves, anchor, clicks, a held button and key, and typing "Hi!" and enter are what the
// e2e input tests drive ravelo through (tests/e2e/test_input.py, tests/e2e/linux/test_input.py).
TEST(ClientInputArguments, MessagesOfEachCommand) {
  struct Case {
    Args args;
    std::vector<Bytes> messages;
  };
  const Case cases[] = {
      {{"button", "middle", "up"}, {{16}}},
      {{"key", "65"}, {{17, 65}}},
      {{"key", "Enter"}, {{17, 161}}},
      {{"key", "f12", "down"}, {{18, 140}}},
      {{"key", "esc", "up"}, {{19, 147}}},
      {{"key", "delete"}, {{17, 160}}},
      {{"type", "a\nb"}, {{17, 'a'}, {17, 161}, {17, 'b'}}},
      {{"type", "a\r\nb\r"}, {{17, 'a'}, {17, 161}, {17, 'b'}, {17, 161}}},  // one Enter a line break
      {{"type", "\xC3\xA9"}, {{17, 0xE9}}},  // é in UTF-8
      {{"type", "\xE9"}, {{17, 0xE9}}},      // é in Latin-1
      {{"type", "\xC2\x97"}, {{17, 151}}},   // the one code of 128..161 that is a character
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.args[0] + " " + c.args[1]);
    ToolOptions o;
    EXPECT_EQ(ParseToolArguments(c.args, &o), "");
    EXPECT_EQ(o.input, c.messages);
  }
}

TEST(ClientInput, SentInOneSessionAtTheServersPace) {
  struct Case {
    const char* name;
    Args args;
    std::vector<Bytes> sent;
    std::string out;
  };
  const Case cases[] = {
      {"password", {"--password", "pw", "type", "Hi"},
       {{0, 'p', 'w'}, {17, 'H'}, {17, 'i'}, {1}}, "accepted\nsent 2 messages\n"},
      {"session", {"--local-port", "40000", "click", "left"}, {{9}, {10}}, "sent 2 messages\n"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    FakeClock clock;
    FakeSocketLayer net;
    const Ipv4Endpoint server = Endpoint(127, 0, 0, 1, 8888);
    clock.At(1, [&] { net.Queue({0, 1}, server); });
    std::ostringstream out, err;
    const std::int64_t start = clock.now;
    EXPECT_EQ(ToolMain(c.args, ClientServices{net, clock}, out, err), kExitOk);
    std::vector<Bytes> sent;
    for (const Datagram& d : net.sent) sent.push_back(d.bytes);
    EXPECT_EQ(sent, c.sent);
    EXPECT_EQ(out.str(), c.out);
    EXPECT_GE(clock.now - start, 5);  // one pass of the server between two messages
  }
}

}  // namespace
}  // namespace ravelo
