// The UDP socket seam: Winsock on Windows, BSD sockets elsewhere, a recording fake in tests.
#pragma once

#include <array>
#include <cstdint>

namespace ravelo {

// An IPv4 address and port. The address bytes are in network order (first byte first).
struct Ipv4Endpoint {
  std::array<std::uint8_t, 4> address{};
  std::uint16_t port = 0;  // host order

  friend bool operator==(const Ipv4Endpoint& a, const Ipv4Endpoint& b) {
    return a.address == b.address && a.port == b.port;
  }
  friend bool operator!=(const Ipv4Endpoint& a, const Ipv4Endpoint& b) { return !(a == b); }
};

// The receive queue the server asks for. Between passes a flood fills the system's default
// queue (about a hundred small datagrams on Linux) within a millisecond, and what arrives then,
// the client's datagrams among it, is dropped unread; a deeper queue keeps them until the next
// pass reads on past the flood. Linux caps it at net.core.rmem_max.
constexpr int kReceiveQueueBytes = 4 << 20;

class SocketLayer {
 public:
  virtual ~SocketLayer() = default;

  // Starts the socket layer (version 2.2). Returns 0, or the error code the start-up gave.
  virtual int Startup() = 0;
  // One clean-up for one successful Startup.
  virtual void Cleanup() = 0;

  // Creates the UDP socket, binds it to `port` on every IPv4 interface and asks for a
  // receive queue of kReceiveQueueBytes (best effort). Returns 0, or the socket layer's last error; a failed create shows up as a failed bind.
  virtual int OpenAndBind(std::uint16_t port) = 0;
  virtual bool SetNonBlocking() = 0;
  // Closes the socket if one is open.
  virtual void Close() = 0;

  // Receives at most one datagram of at most `capacity` bytes without waiting.
  // Returns its length; 0 when nothing is waiting and on any error; -1 for a datagram that
  // is dropped, an empty one or one longer than `capacity` (more may be waiting behind it).
  virtual int ReceiveFrom(std::uint8_t* buffer, int capacity, Ipv4Endpoint* source) = 0;
  // One datagram; failures are not reported.
  virtual void SendTo(const std::uint8_t* data, int length, const Ipv4Endpoint& to) = 0;
  // Waits at most `timeoutMs` for a datagram to read: 1 when one may be waiting, 0 at the
  // time-out, -1 for a layer that cannot wait (its caller sleeps instead).
  virtual int WaitReadable(int timeoutMs) {
    (void)timeoutMs;
    return -1;
  }
};

}  // namespace ravelo
