// The session fed any sequence of datagrams from three senders, with the real frame
// transfer over a scripted desktop and the real input injector over a recording sink.
// After every pass it checks: only the connected client's datagrams act, every reply is a
// well-formed message to the right address, nothing is left held once a session ends, and
// (through ASan) nothing past a datagram's end is read.
//
// Input, step by step; each step starts with a byte s, its low two bits the sender (the
// client's address and port, another address, the client's address on another port):
//   s>>2 < 40   one datagram: a length byte L, then L bytes (L = 255: two more bytes give
//               the length modulo 1280, the bytes that follow fill it, zeros the rest);
//               queued, then one pass
//   s>>2 < 48   the same, queued without a pass (several then arrive in one pass)
//   s>>2 < 56   idle passes: 16 * the next byte + (s>>2 - 48)
//   s>>2 < 60   the desktop: two bytes of picture size, two of width, two of height
//   60, 61      the capture, the desktop size fail (or work again)
//   62          stop and start the server
//   63          one pass
// An input runs at most 512 steps and 6000 passes. The scripted desktop writes its picture
// files into the current directory.
#include <cstring>
#include <memory>
#include <set>
#include <string>

#include "fake_desktop_capture.h"
#include "fuzz_support.h"
#include "input/inject.h"
#include "recording_input_sink.h"
#include "fake_session_clock.h"
#include "recording_log.h"
#include "server/stream_server.h"

namespace ravelo::fuzz {
namespace {

const Ipv4Endpoint kSenders[4] = {
    Endpoint(127, 0, 0, 1, 40000), Endpoint(127, 0, 0, 2, 40000), Endpoint(127, 0, 0, 1, 40001),
    Endpoint(127, 0, 0, 1, 40000)};

// Records the events as its base does and keeps which buttons and keys they leave down.
class HeldSink : public RecordingInputSink {
 public:
  std::set<unsigned> held;  // mouse down flags; key codes above 0xFFFF

  void SendPointerMove(std::int32_t x, std::int32_t y, bool relative) override {
    RecordingInputSink::SendPointerMove(x, y, relative);
    Check(relative || (x >= 0 && x <= 65535 && y >= 0 && y <= 65535), "absolute move off the pointer scale");
  }
  void SendPointerButton(std::uint32_t flags) override {
    RecordingInputSink::SendPointerButton(flags);
    const bool down = flags == mouse::kLeftDown || flags == mouse::kRightDown || flags == mouse::kMiddleDown;
    Press(down ? flags : flags >> 1, down);  // each up flag is its down flag doubled
  }
  void SendKeyEvent(std::uint16_t key, bool down) override {
    RecordingInputSink::SendKeyEvent(key, down);
    Press(0x10000u | key, down);
  }

 private:
  void Press(unsigned what, bool down) {
    if (down) {
      held.insert(what);
    } else {
      held.erase(what);
    }
  }
};

std::string Dotted(const Ipv4Endpoint& e) {
  const auto& a = e.address;
  return std::to_string(a[0]) + "." + std::to_string(a[1]) + "." + std::to_string(a[2]) + "." +
         std::to_string(a[3]);
}

struct Session {
  PoisoningSocket net;
  RecordingLog log;
  FakeDesktopCapture desktop;
  HeldSink sink;
  SinkInputInjector input{sink, desktop};
  FakeSessionClock clock;
  StreamServer server{wire::kPort, ServerServices{net, log, clock, &input, &desktop}};

  // Whether the picture is the start of the file the scripted desktop writes now.
  bool IsFile(const ImageBuffer& v) const {
    for (std::int32_t k = 0; k < v.length; ++k) {
      if (v.data[k] != desktop.Byte(static_cast<std::size_t>(k))) return false;
    }
    return true;
  }

  // One pass, and everything it must not break.
  void Pass() {
    const bool was_connected = server.IsConnected();
    const Ipv4Endpoint client_before = server.ClientAddress();
    const PointerAnchor anchor_before = server.Anchor();
    const std::size_t events_before = sink.events.size();
    const std::size_t requests_before = desktop.requests.size();
    const std::size_t sent_before = net.sent.size();
    const std::size_t lines_before = log.lines.size();
    net.delivered.clear();

    server.PollNetwork();
    net.Unpoison();

    bool connect_read = false;
    bool client_spoke = false;
    for (const Datagram& d : net.delivered) {
      if (d.bytes.empty() || d.bytes.size() > static_cast<std::size_t>(wire::kMaxDatagram)) continue;
      if (d.bytes[0] == wire::kConnect) connect_read = true;
      if (was_connected && d.peer == client_before) client_spoke = true;
    }
    if (!connect_read && !client_spoke) {
      Check(sink.events.size() == events_before || (was_connected && !server.IsConnected()),
            "a stranger's datagram moved the input");
      Check(desktop.requests.size() == requests_before, "a stranger's datagram took a picture");
      Check(server.Anchor().x == anchor_before.x && server.Anchor().y == anchor_before.y,
            "a stranger's datagram moved the anchor");
    }
    if (!connect_read && server.IsConnected()) {
      Check(server.ClientAddress() == client_before, "the client changed without a connect");
    }

    for (std::size_t i = sent_before; i < net.sent.size(); ++i) {
      const Bytes& b = net.sent[i].bytes;
      const Ipv4Endpoint& to = net.sent[i].peer;
      Check(!b.empty(), "empty reply");
      switch (b[0]) {
        case wire::kConnect: {
          Check(b.size() == 2 && b[1] <= wire::kAccepted, "malformed connect reply");
          bool asked = false;
          for (const Datagram& d : net.delivered) {
            asked |= d.peer == to && !d.bytes.empty() && d.bytes[0] == wire::kConnect;
          }
          Check(asked, "connect reply to an address that did not ask");
          if (b[1] == wire::kAccepted) Check(server.ClientAddress() == to, "accepted but not the client");
          break;
        }
        case wire::kKeepAlive:
          Check(b.size() == 1, "malformed keep-alive");
          Check(to == client_before || to == server.ClientAddress(), "keep-alive to a stranger");
          break;
        case wire::kFullView:
        case wire::kRegionView: {
          const ImageBuffer& v = b[0] == wire::kFullView ? server.FullView() : server.RegionView();
          Check(b.size() == 2 && b[1] == ChunkCount(v.length) && v.length <= wire::kMaxAnnounced,
                "malformed ready message");
          // To the client the request came from, even when this pass then timed it out.
          Check(to == client_before && was_connected, "ready message to a stranger");
          Check(IsFile(v), "announced picture is not the file");
          break;
        }
        case wire::kFullChunk:
        case wire::kRegionChunk: {
          const ImageBuffer& v = b[0] == wire::kFullChunk ? server.FullView() : server.RegionView();
          Check(b.size() > 2, "chunk without data");
          std::int32_t start = b[1] * wire::kChunkSize;
          std::int32_t count = static_cast<std::int32_t>(b.size()) - wire::kChunkHeader;
          Check(count <= wire::kChunkSize && start + count <= v.length &&
                    (count == wire::kChunkSize || start + count == v.length),
                "chunk of the wrong size");
          Check(std::memcmp(b.data() + wire::kChunkHeader, v.data + start, static_cast<std::size_t>(count)) == 0,
                "chunk is not the picture");
          Check(to == client_before && was_connected, "chunk to a stranger");
          break;
        }
        default:
          Fail("reply of an unknown type");
      }
    }

    for (std::size_t i = lines_before; i < log.lines.size(); ++i) {
      const std::string& line = log.lines[i];
      bool known = line == "Client disconnected." || line == "Client timed out." ||
                   line.rfind("Connection rejected from ", 0) == 0 ||
                   line.rfind("Too many wrong passwords from ", 0) == 0 ||
                   line == "Connection accepted from " + Dotted(server.ClientAddress()) + ".";
      Check(known, "unexpected log line");
      if (!connect_read && !client_spoke) Check(line == "Client timed out.", "a stranger's datagram was logged");
    }

    if (was_connected && (!server.IsConnected() || server.ClientAddress() != client_before)) {
      Check(sink.held.empty(), "input left held after the session ended");
    }
  }
};

}  // namespace
}  // namespace ravelo::fuzz

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  using namespace ravelo;
  using namespace ravelo::fuzz;
  auto s = std::make_unique<Session>();
  if (!s->server.StartServer(kPassword)) return 0;
  Input in(data, size);
  // Enough passes for a time-out and the waits of a guesser, not for slow inputs.
  int steps = 0;
  int passes_left = 6000;
  while (in.More() && ++steps < 512 && passes_left > 0) {
    const std::uint8_t step = in.Byte();
    const Ipv4Endpoint& from = kSenders[step & 3];
    const int kind = step >> 2;
    if (kind < 48) {
      std::size_t length = in.Byte();
      const bool padded = length == 255;
      if (padded) length = in.Word() % 1280u;
      Bytes bytes = in.Take(length);
      if (padded) bytes.resize(length, 0);
      s->net.Queue(bytes, from);
      if (kind < 40) s->Pass();
    } else if (kind < 56) {
      const int passes = 16 * in.Byte() + (kind - 48);
      passes_left -= passes;
      for (int i = 0; i < passes; ++i) s->Pass();
    } else if (kind < 60) {
      s->desktop.file_bytes = in.Word() % 40001u;
      s->desktop.width = in.Word();
      s->desktop.height = in.Word();
      ++s->desktop.seed;
    } else if (kind == 60) {
      s->desktop.capture_ok = !s->desktop.capture_ok;
    } else if (kind == 61) {
      s->desktop.size_ok = !s->desktop.size_ok;
    } else if (kind == 62) {
      s->server.StopServer();
      Check(s->sink.held.empty(), "input left held after the server stopped");
      Check(s->server.StartServer(kPassword), "restart failed");
    } else {
      s->Pass();
    }
  }
  s->net.Unpoison();
  return 0;
}
