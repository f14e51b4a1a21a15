#pragma once

#include <cstdint>

#include "wire/socket_layer.h"

namespace ravelo {

// Winsock 2: the product's socket layer.
class WinsockLayer : public SocketLayer {
 public:
  ~WinsockLayer() override;
  int Startup() override;
  void Cleanup() override;
  int OpenAndBind(std::uint16_t port) override;
  bool SetNonBlocking() override;
  void Close() override;
  int ReceiveFrom(std::uint8_t* buffer, int capacity, Ipv4Endpoint* source) override;
  void SendTo(const std::uint8_t* data, int length, const Ipv4Endpoint& to) override;
  int WaitReadable(int timeoutMs) override;

  // An event (a HANDLE) that a datagram to read sets, for a main loop to wait on; null while no
  // socket is open. The loop resets it before it reads.
  void* ReadEvent();
  void ResetReadEvent();

 private:
  // A SOCKET and a WSAEVENT; kept as plain values so that this header needs no Winsock header.
  std::uintptr_t socket_ = ~std::uintptr_t{0};
  void* read_event_ = nullptr;
};

}  // namespace ravelo
