// Answers picture requests the way the server does, from one scripted picture, and can lose,
// repeat or cut chunk replies and send streams of other datagrams meanwhile.
#pragma once

#include <map>
#include <vector>

#include "client_fake_clock.h"
#include "fake_socket_layer.h"
#include "wire/protocol.h"

namespace ravelo {

class FakePictureServer : public FakeSocketLayer {
 public:
  // A datagram that arrives every `period` ms from `start` until `end`.
  struct Stream {
    std::vector<std::uint8_t> bytes;
    Ipv4Endpoint from;
    std::int64_t period = 1;
    std::int64_t start = 0;
    std::int64_t end = 60000;
  };
  // Reading a datagram of a stream costs the client this much of `clock`, so a stream of
  // one a millisecond never lets the socket run dry.
  static constexpr std::int64_t kReadMs = 1;

  Ipv4Endpoint server;
  std::vector<std::uint8_t> picture;
  bool announce = true;
  bool accept = true;  // answer connect requests with an acceptance
  std::map<int, int> losses;  // chunk index -> replies of it to lose
  std::map<int, int> repeats;  // chunk index -> extra copies of its first reply
  std::map<int, int> cuts;  // chunk index -> data bytes its replies keep
  std::vector<Datagram> before_ready;  // arrive just ahead of the ready message
  std::vector<Stream> streams;  // need `clock`
  FakeClock* clock = nullptr;
  std::vector<std::int64_t> send_times;  // with `clock`

  void SendTo(const std::uint8_t* data, int length, const Ipv4Endpoint& to) override {
    FakeSocketLayer::SendTo(data, length, to);
    if (clock != nullptr) send_times.push_back(clock->now);
    const std::uint8_t type = data[0];
    if (type == wire::kConnect && accept) Queue({wire::kConnect, wire::kAccepted}, server);
    if (type == wire::kFullView || type == wire::kRegionView) {
      for (const Datagram& d : before_ready) incoming.push_back(d);
      if (!announce) return;
      const int n = static_cast<int>((picture.size() + wire::kChunkSize - 1) / wire::kChunkSize);
      Queue({type, static_cast<std::uint8_t>(n)}, server);
    } else if ((type == wire::kFullChunk || type == wire::kRegionChunk) && length >= 2) {
      const int i = data[1];
      if (losses[i] > 0) {
        --losses[i];
        return;
      }
      const std::size_t begin = static_cast<std::size_t>(i) * wire::kChunkSize;
      if (begin >= picture.size()) return;
      std::size_t end = std::min(picture.size(), begin + wire::kChunkSize);
      if (cuts.count(i) != 0) end = begin + static_cast<std::size_t>(cuts[i]);
      std::vector<std::uint8_t> reply{type, static_cast<std::uint8_t>(i)};
      reply.insert(reply.end(), picture.begin() + static_cast<std::ptrdiff_t>(begin),
                   picture.begin() + static_cast<std::ptrdiff_t>(end));
      Queue(reply, server);
      for (; repeats[i] > 0; --repeats[i]) Queue(reply, server);
    }
  }

  // A due stream datagram and the queued replies take turns, as if they arrived interleaved.
  int ReceiveFrom(std::uint8_t* buffer, int capacity, Ipv4Endpoint* source) override {
    const bool stream_turn = !stream_read_last_ || incoming.empty();
    stream_read_last_ = false;
    for (std::size_t s = 0; stream_turn && clock != nullptr && s < streams.size(); ++s) {
      Stream& stream = streams[s];
      if (next_.size() <= s) next_.push_back(stream.start);
      if (next_[s] > clock->now || next_[s] >= stream.end) continue;
      next_[s] += stream.period;
      stream_read_last_ = true;
      std::copy(stream.bytes.begin(), stream.bytes.end(), buffer);
      *source = stream.from;
      clock->Advance(kReadMs);
      return static_cast<int>(stream.bytes.size());
    }
    return FakeSocketLayer::ReceiveFrom(buffer, capacity, source);
  }

 private:
  std::vector<std::int64_t> next_;  // next arrival of each stream
  bool stream_read_last_ = false;
};

}  // namespace ravelo
