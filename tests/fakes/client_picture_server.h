// Answers picture requests the way the server does, from one scripted picture, and can lose
// chunk replies.
#pragma once

#include <map>
#include <vector>

#include "fake_socket_layer.h"
#include "server/protocol.h"

namespace ravelo {

class FakePictureServer : public FakeSocketLayer {
 public:
  Ipv4Endpoint server;
  std::vector<std::uint8_t> picture;
  bool announce = true;
  bool accept = true;  // answer connect requests with an acceptance
  std::map<int, int> losses;  // chunk index -> replies of it to lose
  std::map<int, int> repeats;  // chunk index -> extra copies of its first reply
  std::vector<Datagram> before_ready;  // arrive just ahead of the ready message

  void SendTo(const std::uint8_t* data, int length, const Ipv4Endpoint& to) override {
    FakeSocketLayer::SendTo(data, length, to);
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
      const std::size_t end = std::min(picture.size(), begin + wire::kChunkSize);
      std::vector<std::uint8_t> reply{type, static_cast<std::uint8_t>(i)};
      reply.insert(reply.end(), picture.begin() + static_cast<std::ptrdiff_t>(begin),
                   picture.begin() + static_cast<std::ptrdiff_t>(end));
      Queue(reply, server);
      for (; repeats[i] > 0; --repeats[i]) Queue(reply, server);
    }
  }
};

}  // namespace ravelo
