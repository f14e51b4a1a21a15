#include "imaging/draw_context_pool.h"

#include "imaging/imaging_startup.h"

namespace ravelo {

CDrawContextPool::CDrawContextPool(GdiApi& gdi) : gdi_(gdi) {
  for (auto& slot : slots_) slot.store(nullptr);
}

CDrawContextPool::~CDrawContextPool() {
  for (auto& slot : slots_) {
    DcHandle dc = slot.exchange(nullptr);
    if (dc != nullptr) gdi_.DeleteContext(dc);
  }
}

CDrawContextPool& CDrawContextPool::Instance() {
  // The guard is made first so that it is torn down after the pool's contexts are gone.
  CImagingStartup::Instance();
  static CDrawContextPool pool(DefaultGdi());
  return pool;
}

DcHandle CDrawContextPool::Take() {
  for (auto& slot : slots_) {
    DcHandle dc = slot.exchange(nullptr);
    if (dc != nullptr) return dc;
  }
  return gdi_.CreateMemoryContext();
}

void CDrawContextPool::Return(DcHandle dc) {
  DcHandle carry = dc;
  for (auto& slot : slots_) {
    if (carry == nullptr) return;
    carry = slot.exchange(carry);
  }
  if (carry != nullptr) gdi_.DeleteContext(carry);
}

}  // namespace ravelo
