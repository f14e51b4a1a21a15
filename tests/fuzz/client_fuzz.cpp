// The reference client against a hostile server: connect, a full view and a region view,
// goodbye, while the "server" and a stranger answer each datagram the client sends with
// whatever the input says, at once or later. Checks: the client sends only well-formed
// requests to the server, believes only the server's answers (an acceptance, a picture made
// of the server's chunks), stops, and (through ASan) reads nothing past a datagram's end.
//
// Input: for each datagram the client sends, a byte n (n % 4 replies), then per reply a byte h:
// bit 0 the stranger sends it, bits 1-2 a delay (0: at once; else a byte of milliseconds),
// bit 3 shaped as an answer (the request's type byte, one byte, a length byte and that many
// bytes), else raw (a length byte L, 255: 1024 + a byte, over-long; then L bytes).
#include <algorithm>
#include <memory>

#include "client/client.h"
#include "client/picture.h"
#include "client_fake_clock.h"
#include "fuzz_support.h"

namespace ravelo::fuzz {
namespace {

const Ipv4Endpoint kServer = Endpoint(127, 0, 0, 1, 8888);
const Ipv4Endpoint kStranger = Endpoint(127, 0, 0, 9, 8888);
constexpr int kMaxSends = 20000;

class HostileServer : public PoisoningSocket {
 public:
  HostileServer(const std::uint8_t* data, std::size_t size, FakeClock& clock) : in_(data, size), clock_(clock) {}

  PictureRequest current{};  // what the client is fetching

  void SendTo(const std::uint8_t* bytes, int length, const Ipv4Endpoint& to) override {
    FakeSocketLayer::SendTo(bytes, length, to);
    Check(static_cast<int>(sent.size()) <= kMaxSends, "the client does not stop sending");
    Check(to == kServer, "the client sent to someone other than the server");
    CheckRequest(Bytes(bytes, bytes + length));
    const int replies = in_.Byte() % 4;
    for (int i = 0; i < replies; ++i) Reply(bytes[0]);
  }

  // The largest chunk count the server announced for a view.
  int Announced(std::uint8_t ready_type) const {
    int n = -1;
    for (const Datagram& d : delivered) {
      if (d.peer == kServer && d.bytes.size() >= 2 && d.bytes[0] == ready_type) n = std::max(n, int{d.bytes[1]});
    }
    return n;
  }

 private:
  void Reply(std::uint8_t request_type) {
    const std::uint8_t h = in_.Byte();
    const Ipv4Endpoint from = (h & 1) ? kStranger : kServer;
    Bytes reply;
    if (h & 8) {
      reply = {request_type, in_.Byte()};
      const Bytes rest = in_.Take(in_.Byte());
      reply.insert(reply.end(), rest.begin(), rest.end());
    } else {
      std::size_t length = in_.Byte();
      if (length == 255) length = 1024 + in_.Byte();  // over-long: zeros past the input
      reply = in_.Take(length);
      if (length > 1023) reply.resize(length);
    }
    const int delay = (h >> 1) & 3;
    if (delay == 0) {
      Queue(reply, from);
    } else {
      clock_.At(clock_.now + in_.Byte() * delay, [this, reply, from] { Queue(reply, from); });
    }
  }

  void CheckRequest(const Bytes& b) {
    Check(!b.empty(), "empty request");
    switch (b[0]) {
      case wire::kConnect:
        Check(b == Bytes({wire::kConnect, 'p', 'w'}), "malformed connect request");
        break;
      case wire::kGoodbye:
      case wire::kKeepAlive:
      case wire::kFullView:
        Check(b.size() == 1, "malformed one-byte request");
        break;
      case wire::kRegionView:
        Check(b == Bytes({wire::kRegionView, current.x, current.y}), "malformed region request");
        break;
      case wire::kFullChunk:
      case wire::kRegionChunk: {
        Check(b.size() == 2, "malformed chunk request");
        std::uint8_t ready = b[0] == wire::kFullChunk ? wire::kFullView : wire::kRegionView;
        Check(b[1] < Announced(ready), "chunk request past the announced count");
        break;
      }
      default:
        Fail("request of an unknown type");
    }
  }

  Input in_;
  FakeClock& clock_;
};

// Whether `bytes` is chunks 0..chunks-1 of one view, all but the last 1000 bytes long, each
// as the server sent it.
bool MadeOfServerChunks(const Bytes& bytes, int chunks, std::uint8_t chunk_type,
                        const std::vector<Datagram>& delivered) {
  const std::size_t size = bytes.size();
  if (chunks < 1 || size <= std::size_t(chunks - 1) * wire::kChunkSize || size > std::size_t(chunks) * wire::kChunkSize) {
    return false;
  }
  for (int i = 0; i < chunks; ++i) {
    const auto begin = bytes.begin() + i * wire::kChunkSize;
    const auto end = i + 1 < chunks ? begin + wire::kChunkSize : bytes.end();
    bool sent = false;
    for (const Datagram& d : delivered) {
      sent |= d.peer == kServer && d.bytes.size() > wire::kChunkHeader && d.bytes[0] == chunk_type &&
              d.bytes[1] == i && std::equal(d.bytes.begin() + wire::kChunkHeader, d.bytes.end(), begin, end);
    }
    if (!sent) return false;
  }
  return true;
}

void CheckPicture(const Picture& p, const PictureRequest& request, const HostileServer& net) {
  if (p.status != Picture::kComplete) return;
  std::uint8_t ready = request.full ? wire::kFullView : wire::kRegionView;
  std::uint8_t chunk = request.full ? wire::kFullChunk : wire::kRegionChunk;
  Check(p.chunks <= net.Announced(ready), "picture of more chunks than announced");
  Check(MadeOfServerChunks(p.bytes, p.chunks, chunk, net.delivered), "picture not made of the server's chunks");
}

}  // namespace
}  // namespace ravelo::fuzz

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  using namespace ravelo;
  using namespace ravelo::fuzz;
  FakeClock clock;
  auto net = std::make_unique<HostileServer>(data, size, clock);
  auto client = std::make_unique<RaveloClient>(ClientServices{*net, clock}, kServer);
  if (client->Open() != 0) return 0;

  ConnectResult result = client->Connect(kPassword, 50);
  bool accepted = false;
  bool refused = false;
  for (const Datagram& d : net->delivered) {
    if (d.peer == kServer && d.bytes.size() >= 2 && d.bytes[0] == wire::kConnect) {
      (d.bytes[1] == wire::kAccepted ? accepted : refused) = true;
    }
  }
  if (result == ConnectResult::kAccepted) Check(accepted, "accepted without the server's acceptance");
  if (result == ConnectResult::kRefused) Check(refused, "refused without the server's refusal");

  FetchLimits limits;
  limits.ready_timeout_ms = 20;
  limits.chunk_timeout_ms = 10;
  limits.rounds = 3;
  const PictureRequest requests[] = {{true, 0, 0}, {false, 200, 7}};
  for (const PictureRequest& request : requests) {
    net->current = request;
    Picture p = FetchPicture(*client, request, limits);
    CheckPicture(p, request, *net);
  }
  client->Hold(10);
  client->Goodbye();
  net->Unpoison();
  client.reset();
  return 0;
}
