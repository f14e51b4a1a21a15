// A wl_buffer over memory shared with the compositor (a memfd), mapped on this side too.
#pragma once

#include <wayland-client.h>

#include <cstddef>
#include <cstdint>
#include <memory>

namespace ravelo::wayland {

// A file descriptor closed with its owner.
class UniqueFd {
 public:
  explicit UniqueFd(int fd = -1) : fd_(fd) {}
  ~UniqueFd();
  UniqueFd(UniqueFd&& other) noexcept : fd_(other.Release()) {}
  UniqueFd& operator=(UniqueFd&& other) noexcept;
  UniqueFd(const UniqueFd&) = delete;
  UniqueFd& operator=(const UniqueFd&) = delete;
  int Get() const { return fd_; }
  int Release() {
    const int fd = fd_;
    fd_ = -1;
    return fd;
  }

 private:
  int fd_;
};

// An anonymous file of `bytes` bytes for handing to the compositor; invalid on failure.
UniqueFd MakeSharedFile(const char* name, size_t bytes);

class ShmBuffer {
 public:
  // Null when the memory cannot be had.
  static std::unique_ptr<ShmBuffer> Create(wl_shm* shm, int32_t width, int32_t height, int32_t stride,
                                           uint32_t format);
  ~ShmBuffer();
  ShmBuffer(const ShmBuffer&) = delete;
  ShmBuffer& operator=(const ShmBuffer&) = delete;

  wl_buffer* Buffer() const { return buffer_; }
  uint8_t* Memory() const { return memory_; }
  size_t Bytes() const { return bytes_; }

 private:
  ShmBuffer() = default;
  wl_buffer* buffer_ = nullptr;
  uint8_t* memory_ = nullptr;
  size_t bytes_ = 0;
};

}  // namespace ravelo::wayland
