#pragma once

#include "wire/socket_layer.h"

namespace ravelo {

// BSD sockets: the native build's socket layer (the start-up and clean-up have nothing to do).
class BsdSocketLayer : public SocketLayer {
 public:
  ~BsdSocketLayer() override;
  int Startup() override { return 0; }
  void Cleanup() override {}
  int OpenAndBind(std::uint16_t port) override;
  bool SetNonBlocking() override;
  void Close() override;
  int ReceiveFrom(std::uint8_t* buffer, int capacity, Ipv4Endpoint* source) override;
  void SendTo(const std::uint8_t* data, int length, const Ipv4Endpoint& to) override;
  int WaitReadable(int timeoutMs) override;
  // The descriptor a main loop watches; -1 while no socket is open.
  int Fd() const { return fd_; }

 private:
  int fd_ = -1;
};

}  // namespace ravelo
