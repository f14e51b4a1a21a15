// Records what the session sends and lets a test script what it receives.
#pragma once

#include <algorithm>
#include <cstring>
#include <deque>
#include <vector>

#include "wire/socket_layer.h"

namespace ravelo {

struct Datagram {
  std::vector<std::uint8_t> bytes;
  Ipv4Endpoint peer;
};

inline Ipv4Endpoint Endpoint(std::uint8_t a, std::uint8_t b, std::uint8_t c, std::uint8_t d,
                             std::uint16_t port) {
  Ipv4Endpoint e;
  e.address = {a, b, c, d};
  e.port = port;
  return e;
}

class FakeSocketLayer : public SocketLayer {
 public:
  // Scripted answers.
  int startup_error = 0;
  int bind_error = 0;
  bool nonblocking_ok = true;
  std::deque<Datagram> incoming;

  // What happened.
  std::vector<Datagram> sent;
  int startups = 0;
  int cleanups = 0;
  int opens = 0;
  int closes = 0;
  bool open = false;

  void Queue(std::vector<std::uint8_t> bytes, const Ipv4Endpoint& from) {
    incoming.push_back({std::move(bytes), from});
  }
  // Balance of start-ups not yet cleaned up.
  int LayerBalance() const { return startups - cleanups; }

  int Startup() override {
    if (startup_error != 0) return startup_error;
    ++startups;
    return 0;
  }
  void Cleanup() override { ++cleanups; }
  int OpenAndBind(std::uint16_t) override {
    ++opens;
    open = true;  // the socket exists even when the bind fails
    return bind_error;
  }
  bool SetNonBlocking() override { return nonblocking_ok; }
  void Close() override {
    if (open) ++closes;
    open = false;
  }
  int ReceiveFrom(std::uint8_t* buffer, int capacity, Ipv4Endpoint* source) override {
    if (incoming.empty()) return 0;
    Datagram d = std::move(incoming.front());
    incoming.pop_front();
    if (d.bytes.empty() || static_cast<int>(d.bytes.size()) > capacity) return -1;
    std::memcpy(buffer, d.bytes.data(), d.bytes.size());
    *source = d.peer;
    return static_cast<int>(d.bytes.size());
  }
  void SendTo(const std::uint8_t* data, int length, const Ipv4Endpoint& to) override {
    sent.push_back({std::vector<std::uint8_t>(data, data + length), to});
  }
};

}  // namespace ravelo
