// What both fuzz targets need around the program: reading the fuzzer's input, a socket that
// lets ASan catch reads past a datagram's end, and stopping on a broken invariant.
#pragma once

#include <sanitizer/asan_interface.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <vector>

#include "fake_socket_layer.h"

namespace ravelo::fuzz {

using Bytes = std::vector<std::uint8_t>;

const char kPassword[] = "pw";

[[noreturn]] inline void Fail(const char* what) {
  std::fprintf(stderr, "invariant broken: %s\n", what);
  std::abort();
}
inline void Check(bool ok, const char* what) {
  if (!ok) Fail(what);
}

// The input front to back; zeros once it has run out, so that every input is a whole script.
class Input {
 public:
  Input(const std::uint8_t* data, std::size_t size) : data_(data), size_(size) {}
  bool More() const { return at_ < size_; }
  std::uint8_t Byte() { return at_ < size_ ? data_[at_++] : 0; }
  std::uint16_t Word() {
    const unsigned high = Byte();
    return static_cast<std::uint16_t>(high << 8 | Byte());
  }
  // `n` bytes, fewer where the input ends.
  Bytes Take(std::size_t n) {
    n = std::min(n, size_ - at_);
    Bytes b(data_ + at_, data_ + at_ + n);
    at_ += n;
    return b;
  }

 private:
  const std::uint8_t* data_;
  std::size_t size_;
  std::size_t at_ = 0;
};

// Hands each datagram out and poisons the rest of the receiver's buffer, so that a read past
// the datagram's end is an ASan report rather than a read of stale bytes.
class PoisoningSocket : public FakeSocketLayer {
 public:
  std::vector<Datagram> delivered;

  int ReceiveFrom(std::uint8_t* buffer, int capacity, Ipv4Endpoint* source) override {
    Unpoison();
    if (!incoming.empty()) delivered.push_back(incoming.front());
    const int n = FakeSocketLayer::ReceiveFrom(buffer, capacity, source);
    buffer_ = buffer;
    capacity_ = capacity;
    const int used = std::max(n, 0);
    ASAN_POISON_MEMORY_REGION(buffer + used, static_cast<std::size_t>(capacity - used));
    return n;
  }
  // Before anything else writes the buffer, and before it is freed.
  void Unpoison() {
    if (buffer_ != nullptr) ASAN_UNPOISON_MEMORY_REGION(buffer_, static_cast<std::size_t>(capacity_));
  }

 private:
  std::uint8_t* buffer_ = nullptr;
  int capacity_ = 0;
};

}  // namespace ravelo::fuzz
