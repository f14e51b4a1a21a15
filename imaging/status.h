// Status codes of the image surface. Named so that they cannot meet the platform's macros.
#pragma once

#include <cstdint>

namespace ravelo {

using HResult = int32_t;

inline constexpr HResult kSOk = 0;
inline constexpr HResult kEFail = static_cast<HResult>(0x80004005u);
inline constexpr HResult kEOutOfMemory = static_cast<HResult>(0x8007000Eu);
inline constexpr HResult kEInvalidArg = static_cast<HResult>(0x80070057u);

inline constexpr bool Failed(HResult status) { return status < 0; }

// A platform error number as a status; 0 or below passes through unchanged.
inline constexpr HResult HResultFromError(uint32_t error) {
  return static_cast<int32_t>(error) <= 0
             ? static_cast<HResult>(error)
             : static_cast<HResult>((error & 0xFFFFu) | 0x80070000u);
}

// Raised by value when memory, a drawing context or a text conversion cannot be had.
class CAtlException {
 public:
  explicit CAtlException(HResult status) : status_(status) {}
  HResult Status() const { return status_; }
  operator HResult() const { return status_; }

 private:
  HResult status_;
};

}  // namespace ravelo
