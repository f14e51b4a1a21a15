#include "linux/wayland/shm_buffer.h"

#include <sys/mman.h>
#include <unistd.h>

#include <cerrno>

namespace ravelo::wayland {

UniqueFd::~UniqueFd() {
  if (fd_ >= 0) close(fd_);
}

UniqueFd& UniqueFd::operator=(UniqueFd&& other) noexcept {
  if (this != &other) {
    if (fd_ >= 0) close(fd_);
    fd_ = other.Release();
  }
  return *this;
}

UniqueFd MakeSharedFile(const char* name, size_t bytes) {
  UniqueFd fd(memfd_create(name, MFD_CLOEXEC));
  if (fd.Get() < 0) return UniqueFd();
  int r;
  do {
    r = ftruncate(fd.Get(), static_cast<off_t>(bytes));
  } while (r != 0 && errno == EINTR);
  return r == 0 ? std::move(fd) : UniqueFd();
}

std::unique_ptr<ShmBuffer> ShmBuffer::Create(wl_shm* shm, int32_t width, int32_t height, int32_t stride,
                                             uint32_t format) {
  if (shm == nullptr || width <= 0 || height <= 0 || stride <= 0) return nullptr;
  const size_t bytes = static_cast<size_t>(stride) * static_cast<size_t>(height);
  // The pool's size travels as a 32-bit signed number.
  if (bytes > 0x7FFFFFFF) return nullptr;
  UniqueFd fd = MakeSharedFile("ravelo-frame", bytes);
  if (fd.Get() < 0) return nullptr;
  void* memory = mmap(nullptr, bytes, PROT_READ | PROT_WRITE, MAP_SHARED, fd.Get(), 0);
  if (memory == MAP_FAILED) return nullptr;
  std::unique_ptr<ShmBuffer> b(new ShmBuffer());
  b->memory_ = static_cast<uint8_t*>(memory);
  b->bytes_ = bytes;
  wl_shm_pool* pool = wl_shm_create_pool(shm, fd.Get(), static_cast<int32_t>(bytes));
  if (pool == nullptr) return nullptr;
  b->buffer_ = wl_shm_pool_create_buffer(pool, 0, width, height, stride, format);
  // The buffer keeps the pool's memory on the compositor's side.
  wl_shm_pool_destroy(pool);
  if (b->buffer_ == nullptr) return nullptr;
  return b;
}

ShmBuffer::~ShmBuffer() {
  if (buffer_ != nullptr) wl_buffer_destroy(buffer_);
  if (memory_ != nullptr) munmap(memory_, bytes_);
}

}  // namespace ravelo::wayland
