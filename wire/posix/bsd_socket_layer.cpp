#include "wire/posix/bsd_socket_layer.h"

#include <arpa/inet.h>
#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <sys/uio.h>
#include <unistd.h>

namespace ravelo {
namespace {

sockaddr_in ToSockaddr(const Ipv4Endpoint& e) {
  sockaddr_in sa{};
  sa.sin_family = AF_INET;
  sa.sin_port = htons(e.port);
  std::memcpy(&sa.sin_addr, e.address.data(), 4);
  return sa;
}

}  // namespace

BsdSocketLayer::~BsdSocketLayer() { Close(); }

int BsdSocketLayer::OpenAndBind(std::uint16_t port) {
  Close();
  fd_ = ::socket(AF_INET, SOCK_DGRAM, 0);
  if (fd_ < 0) return errno != 0 ? errno : -1;
  Ipv4Endpoint any;
  any.port = port;
  sockaddr_in sa = ToSockaddr(any);
  if (::bind(fd_, reinterpret_cast<const sockaddr*>(&sa), sizeof sa) != 0) {
    return errno != 0 ? errno : -1;
  }
  const int queue = kReceiveQueueBytes;
  ::setsockopt(fd_, SOL_SOCKET, SO_RCVBUF, &queue, sizeof queue);
  return 0;
}

bool BsdSocketLayer::SetNonBlocking() {
  int flags = ::fcntl(fd_, F_GETFL, 0);
  return flags >= 0 && ::fcntl(fd_, F_SETFL, flags | O_NONBLOCK) == 0;
}

void BsdSocketLayer::Close() {
  if (fd_ >= 0) ::close(fd_);
  fd_ = -1;
}

int BsdSocketLayer::ReceiveFrom(std::uint8_t* buffer, int capacity, Ipv4Endpoint* source) {
  if (fd_ < 0 || capacity <= 0) return 0;
  sockaddr_in sa{};
  iovec part{buffer, static_cast<size_t>(capacity)};
  msghdr message{};
  message.msg_name = &sa;
  message.msg_namelen = sizeof sa;
  message.msg_iov = &part;
  message.msg_iovlen = 1;
  const ssize_t n = ::recvmsg(fd_, &message, 0);
  // A datagram longer than the buffer arrives cut short; every POSIX system marks that in
  // the flags that come back, and it is dropped as Winsock drops it.
  if (n < 0) return 0;
  if (n == 0 || (message.msg_flags & MSG_TRUNC) != 0) return -1;
  std::memcpy(source->address.data(), &sa.sin_addr, 4);
  source->port = ntohs(sa.sin_port);
  return static_cast<int>(n);
}

int BsdSocketLayer::WaitReadable(int timeoutMs) {
  if (fd_ < 0) return -1;
  pollfd p{fd_, POLLIN, 0};
  const int n = ::poll(&p, 1, timeoutMs);
  return n < 0 ? -1 : n > 0 ? 1 : 0;
}

void BsdSocketLayer::SendTo(const std::uint8_t* data, int length, const Ipv4Endpoint& to) {
  if (fd_ < 0) return;
  sockaddr_in sa = ToSockaddr(to);
  (void)::sendto(fd_, data, static_cast<size_t>(length), 0, reinterpret_cast<const sockaddr*>(&sa),
                 sizeof sa);
}

}  // namespace ravelo
