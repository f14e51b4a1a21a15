// Idle memory drawing contexts kept for reuse, so that opening an image's drawing
// context does not make and delete one every time.
#pragma once

#include <atomic>

#include "imaging/gdi_api.h"

namespace ravelo {

class CDrawContextPool {
 public:
  static constexpr int kSlots = 4;

  explicit CDrawContextPool(GdiApi& gdi);
  ~CDrawContextPool();  // deletes every idle context
  CDrawContextPool(const CDrawContextPool&) = delete;
  CDrawContextPool& operator=(const CDrawContextPool&) = delete;

  // The process-wide pool over DefaultGdi().
  static CDrawContextPool& Instance();

  // An idle context (most recently returned first), else a new one; null if none can be made.
  DcHandle Take();
  // Puts `dc` in slot 0 and moves the others down; a context pushed out of the last slot
  // is deleted.
  void Return(DcHandle dc);

  DcHandle Peek(int slot) const { return slots_[slot].load(); }
  GdiApi& Gdi() const { return gdi_; }

 private:
  GdiApi& gdi_;
  std::atomic<DcHandle> slots_[kSlots];
};

}  // namespace ravelo
