// Makes recvfrom in this test program behave as on the BSDs and macOS, where MSG_TRUNC is no
// receive flag: an over-long datagram comes back cut to the buffer, its length the buffer's.
// Linux alone would report the real length, which hides a layer that counts on it.
#include <sys/socket.h>
#include <sys/syscall.h>
#include <unistd.h>

extern "C" ssize_t recvfrom(int fd, void* buffer, size_t length, int flags, sockaddr* address,
                            socklen_t* address_length) {
  return syscall(SYS_recvfrom, fd, buffer, length, flags & ~MSG_TRUNC, address, address_length);
}
