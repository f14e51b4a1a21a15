#include <winsock2.h>
#include <mswsock.h>

#include "wire/win32/winsock_layer.h"

#include <cstring>

namespace ravelo {
namespace {

sockaddr_in ToSockaddr(const Ipv4Endpoint& e) {
  sockaddr_in sa{};
  sa.sin_family = AF_INET;
  sa.sin_port = htons(e.port);
  std::memcpy(&sa.sin_addr, e.address.data(), 4);
  return sa;
}

static_assert(sizeof(SOCKET) == sizeof(std::uintptr_t), "SOCKET fits the stored handle");

SOCKET Handle(std::uintptr_t s) { return static_cast<SOCKET>(s); }

}  // namespace

WinsockLayer::~WinsockLayer() { Close(); }

int WinsockLayer::Startup() {
  WSADATA data;
  return WSAStartup(MAKEWORD(2, 2), &data);
}

void WinsockLayer::Cleanup() { WSACleanup(); }

int WinsockLayer::OpenAndBind(std::uint16_t port) {
  Close();
  socket_ = static_cast<std::uintptr_t>(::socket(AF_INET, SOCK_DGRAM, 0));
  Ipv4Endpoint any;
  any.port = port;
  sockaddr_in sa = ToSockaddr(any);
  // An invalid socket makes bind fail, so a failed create is reported as a failed bind.
  if (::bind(Handle(socket_), reinterpret_cast<const sockaddr*>(&sa), sizeof sa) != 0) {
    return WSAGetLastError();
  }
  // Otherwise an ICMP "port unreachable" from a client that has gone makes the next receive
  // fail with WSAECONNRESET, as if nothing more were waiting.
  BOOL report = FALSE;
  DWORD returned = 0;
  WSAIoctl(Handle(socket_), SIO_UDP_CONNRESET, &report, sizeof report, nullptr, 0, &returned, nullptr,
           nullptr);
  const int queue = kReceiveQueueBytes;
  setsockopt(Handle(socket_), SOL_SOCKET, SO_RCVBUF, reinterpret_cast<const char*>(&queue), sizeof queue);
  return 0;
}

bool WinsockLayer::SetNonBlocking() {
  u_long on = 1;
  return ioctlsocket(Handle(socket_), FIONBIO, &on) == 0;
}

void WinsockLayer::Close() {
  if (Handle(socket_) != INVALID_SOCKET) closesocket(Handle(socket_));
  socket_ = static_cast<std::uintptr_t>(INVALID_SOCKET);
  if (read_event_ != nullptr) WSACloseEvent(static_cast<WSAEVENT>(read_event_));
  read_event_ = nullptr;
}

void* WinsockLayer::ReadEvent() {
  if (Handle(socket_) == INVALID_SOCKET) return nullptr;
  if (read_event_ == nullptr) {
    WSAEVENT event = WSACreateEvent();
    if (event == WSA_INVALID_EVENT) return nullptr;
    // The socket stays non-blocking, as it already is.
    if (WSAEventSelect(Handle(socket_), event, FD_READ) != 0) {
      WSACloseEvent(event);
      return nullptr;
    }
    read_event_ = event;
  }
  return read_event_;
}

void WinsockLayer::ResetReadEvent() {
  if (read_event_ != nullptr) WSAResetEvent(static_cast<WSAEVENT>(read_event_));
}

int WinsockLayer::ReceiveFrom(std::uint8_t* buffer, int capacity, Ipv4Endpoint* source) {
  if (Handle(socket_) == INVALID_SOCKET) return 0;
  sockaddr_in sa{};
  int len = sizeof sa;
  // A datagram longer than the buffer fails with WSAEMSGSIZE and is dropped.
  int n = recvfrom(Handle(socket_), reinterpret_cast<char*>(buffer), capacity, 0,
                   reinterpret_cast<sockaddr*>(&sa), &len);
  // A reset left over from before the switch above is no reason to stop reading either.
  if (n == 0 || (n == SOCKET_ERROR && (WSAGetLastError() == WSAEMSGSIZE || WSAGetLastError() == WSAECONNRESET)))
    return -1;
  if (n < 0) return 0;
  std::memcpy(source->address.data(), &sa.sin_addr, 4);
  source->port = ntohs(sa.sin_port);
  return n;
}

int WinsockLayer::WaitReadable(int timeoutMs) {
  if (Handle(socket_) == INVALID_SOCKET) return -1;
  fd_set readable;
  FD_ZERO(&readable);
  FD_SET(Handle(socket_), &readable);
  timeval limit{timeoutMs / 1000, (timeoutMs % 1000) * 1000};
  const int n = select(0, &readable, nullptr, nullptr, &limit);
  return n == SOCKET_ERROR ? -1 : n > 0 ? 1 : 0;
}

void WinsockLayer::SendTo(const std::uint8_t* data, int length, const Ipv4Endpoint& to) {
  if (Handle(socket_) == INVALID_SOCKET) return;
  sockaddr_in sa = ToSockaddr(to);
  sendto(Handle(socket_), reinterpret_cast<const char*>(data), length, 0,
         reinterpret_cast<const sockaddr*>(&sa), sizeof sa);
}

}  // namespace ravelo
